// The `check` command of rotavue-host: its help text and its two reports of
// a survey (survey.h), the readable one and the JSON object of --json.
// Kept apart from the command itself, which touches the terminal and the
// clock, so that tests can read the reports of any survey.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "survey.h"

namespace rotavue_host {

// The readable report cuts each list after this many entries unless --all.
inline constexpr std::size_t kCheckListLimit = 10;

// The --json object: exactly the keys folder, images, folders_entered,
// longest_path, skipped_folders, linked_folders, other_pictures,
// unreachable_names, not_files, unreadable_folders, long_paths and
// refresh_ms, every list complete. Linked folders (reparse points) are
// listed apart from the other skipped folders. A path that is not valid
// UTF-8 also gives its bytes, in lower-case hexadecimal: as "path_bytes"
// beside "path" in an object, and where a text would stand, as an object
// of the two.
nlohmann::ordered_json checkJson(const rotavue::Survey& survey, double refreshMs);

// The readable report: the totals, then each list that is not empty.
void printCheckReport(std::ostream& out, const rotavue::Survey& survey, double refreshMs, bool all);

// What `check --help` tells after the options: what the report holds, and
// the keys of the JSON object.
std::string checkHelpText();

}  // namespace rotavue_host
