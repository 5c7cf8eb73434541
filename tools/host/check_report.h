// The `check` command of rotavue-host: its options, its help text and its
// two reports of a survey (walk/survey.h), the readable one and the JSON
// object of --json. Kept apart from the command itself, which touches the
// terminal and the clock, so that tests can read the reports of any survey.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "walk/survey.h"

namespace rotavue_host {

struct CheckOptions {
  std::string folder;  // as given; see folderGiven
  bool folderGiven = false;
  bool json = false;
  bool all = false;
};

// Parses the arguments after "check". False, with the reason in `problem`,
// for a bad command line.
bool parseCheckOptions(const std::vector<std::string>& arguments, CheckOptions& options,
                       std::string& problem);

// The readable report cuts each list after this many entries unless --all.
inline constexpr std::size_t kCheckListLimit = 10;

// The --json object: exactly the keys folder, images, folders_entered,
// longest_path, skipped_folders, other_pictures, unreachable_names,
// unreadable_folders, long_paths and refresh_ms, every list complete.
nlohmann::ordered_json checkJson(const rotavue::Survey& survey, double refreshMs);

// The readable report: the totals, then each list that is not empty.
void printCheckReport(std::ostream& out, const rotavue::Survey& survey, double refreshMs, bool all);

// The help text of `check`, for `rotavue-host --help`.
void printCheckUsage(std::ostream& out);

// Runs `check`: surveys the folder, times one count walk over it and prints
// the report. Exit status 0 when it ran, 3 when the folder itself cannot be
// read.
int checkCommand(CheckOptions options);

}  // namespace rotavue_host
