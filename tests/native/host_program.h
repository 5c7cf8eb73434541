// The fixture of the tests that run rotavue-host as a user runs it, on the
// real file system (host_check_test.cpp, one_shot_test.cpp): the host's
// DirPath is a folder of the test's own, the program is started with its
// command line and its exit status and output are captured, and the module
// is called through its exports over the same trees.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "host/exports.h"
#include "support/host_registry.h"
#include "support/temp_directory.h"

namespace rotavue::testing {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class HostCheck : public ::testing::Test {
 protected:
  void SetUp() override { registry_.setDirPath(host_.path()); }

  // Runs rotavue-host with `arguments`, its output captured in files, or
  // written to `output` when one is given; after the shell words `prefix`
  // (an `env` or `setpriv` command line) when one is given.
  Outcome run(const std::vector<std::string>& arguments, const std::string& output = "",
              const std::string& prefix = "") {
    std::string command = prefix + " " + shellQuoted(ROTAVUE_HOST_PROGRAM);
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    const std::string out = output.empty() ? output_.pathOf("out") : output;
    const std::string err = output_.pathOf("err");
    command += " >" + shellQuoted(out) + " 2>" + shellQuoted(err) + " </dev/null";
    const int raw = std::system(command.c_str());  // NOLINT(concurrency-mt-unsafe)
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (output.empty()) outcome.out = readFileBytes(out);
    outcome.err = readFileBytes(err);
    return outcome;
  }

  // Starts rotavue-host with `arguments` and the environment `variables`;
  // its standard output comes through the pipe, whose first line is its
  // process number.
  FILE* start(const std::vector<std::string>& arguments, const std::string& variables = "") {
    std::string command =
        "echo $$; exec env " + variables + " " + shellQuoted(ROTAVUE_HOST_PROGRAM);
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    return ::popen((command + " 2>" + shellQuoted(output_.pathOf("err"))).c_str(), "r");
  }

  nlohmann::json checkJson(const std::string& folder) {
    const Outcome outcome = run({"check", "--json", "--folder", folder});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    return nlohmann::json::parse(outcome.out);
  }

  // The distinct images of one full GetImage cycle through the exports.
  std::set<std::string> rotation(const std::string& root) {
    const std::uint32_t handle = dllstartup(0, 0);
    std::set<std::string> images;
    for (int call = 0; call < 100; ++call) {
      const std::string result = GetImage(handle, "cycle", root.c_str(), "0");
      if (result.compare(0, root.size(), root) != 0 || !images.insert(result).second) break;
    }
    dllshutdown(handle);
    return images;
  }

  HostRegistry registry_;
  TempDirectory host_;
  TempDirectory output_;
  TempDirectory tree_;
};

}  // namespace rotavue::testing
