// `rotavue-host check`: surveys a folder with the module's own rules (linked
// from the module's core, not loaded), times one count walk over it as a
// refresh of GetRandomImage would run it, and prints the report. The folder
// is walked in the form the module would be given it: in the ANSI code
// page, exactly or as its short path. Its check of the folder itself is
// also the one that `next` and `random` make before their refresh.
#include <chrono>
#include <iostream>
#include <string>

#include "check_report.h"
#include "commands.h"
#include "host/meter_data.h"
#include "system.h"
#include "walk/walk.h"

namespace rotavue_host {

namespace {

// The progress line on standard error, redrawn in place while the survey
// runs and wiped when it ends; nothing at all when standard error is not a
// terminal.
class ProgressLine {
 public:
  explicit ProgressLine(bool shown) : shown_(shown) {}
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  ~ProgressLine() { wipe(); }

  void show(std::uint64_t entries) {
    if (!shown_) return;
    const std::string line = "rotavue-host: checking, " + std::to_string(entries) + " entries";
    width_ = line.size();
    std::cerr << '\r' << line << std::flush;
  }

  void wipe() {
    if (width_ == 0) return;
    std::cerr << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
  }

 private:
  bool shown_;
  std::size_t width_ = 0;
};

// Milliseconds of one count walk over `folder`, prepared as the random image
// function prepares it.
double timeCountWalk(const std::string& folder) {
  rotavue::meter_data instance;
  instance.imageCount = 0;
  instance.walkContinue = 1;
  instance.errorText.clear();
  const auto start = std::chrono::steady_clock::now();
  rotavue::countImages(instance, folder);
  const std::chrono::duration<double, std::milli> elapsed =
      std::chrono::steady_clock::now() - start;
  return elapsed.count();
}

int cannotRead(const std::string& folder, const rotavue::Survey& survey) {
  std::cerr << kProgramName << ": " << folder << ": " << survey.folderMessage << '\n';
  return kExitFolder;
}

}  // namespace

bool readableFolder(const std::string& given, std::string& ansi) {
  std::string problem;
  if (!ansiPathOf(given, ansi, problem)) {
    std::cerr << kProgramName << ": " << problem << '\n';
    return false;
  }
  const rotavue::Survey itself = rotavue::surveyFolderItself(ansi);
  if (!itself.folderReadable) cannotRead(given, itself);
  return itself.folderReadable;
}

int checkCommand(const CheckOptions& options) {
  const std::string given = normalPath(options.folder.empty() ? exampleFolder() : options.folder);
  std::string folder;
  if (!readableFolder(given, folder)) return kExitFolder;
  rotavue::Survey survey;
  {
    ProgressLine progress(standardErrorIsTerminal());
    survey = rotavue::surveyFolder(folder,
                                   [&progress](std::uint64_t entries) { progress.show(entries); });
  }
  // A folder that went away since.
  if (!survey.folderReadable) return cannotRead(given, survey);
  const double refreshMs = timeCountWalk(folder);
  if (options.json) {
    std::cout << checkJson(survey, refreshMs)
                     .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << '\n';
  } else {
    printCheckReport(std::cout, survey, refreshMs, options.all);
  }
  return kExitDone;
}

}  // namespace rotavue_host
