// The fixture of the tests that run rotavue-host.exe (and rotavue-hostw.exe)
// beside them as a user does (host_check_test.cpp, one_shot_test.cpp): each
// test has a scratch folder of its own under the temporary folder, with a
// host folder published as the host's DirPath and a picture folder, runs the
// program with ANSI or UTF-16 arguments and captures its exit status and
// output, and calls the real Rotavue.dll over the same trees. Also the
// conversions and registry reads the tests check the program's results by.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "folder_attributes.h"
#include "rotavue_dll.h"

namespace host_program {

struct Outcome {
  DWORD status = 0xFFFFFFFF;
  std::string out;
  std::string err;
};

inline std::string directoryOfThisProgram() {
  char buffer[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  const std::string path(buffer, length);
  return path.substr(0, path.rfind('\\') + 1);
}

// One argument as the C runtime splits a command line: quoted, with the
// backslashes before a quote (and at the end) doubled.
inline std::wstring quotedArgument(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

inline std::wstring wideOf(UINT codePage, const std::string& text) {
  const int units =
      ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
  return wide;
}

inline std::string narrowOf(UINT codePage, const std::wstring& wide) {
  const int units = static_cast<int>(wide.size());
  const int bytes =
      ::WideCharToMultiByte(codePage, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), units, &text[0], bytes, nullptr, nullptr);
  return text;
}

// A file that a child process inherits as its standard output or error.
class InheritedFile {
 public:
  explicit InheritedFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit{static_cast<DWORD>(sizeof(SECURITY_ATTRIBUTES)), nullptr, TRUE};
    handle_ = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~InheritedFile() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  InheritedFile(const InheritedFile&) = delete;
  InheritedFile& operator=(const InheritedFile&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

using OpenKey = std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&::RegCloseKey)>;

// The key under HKEY_CURRENT_USER opened for reading; null when missing.
inline OpenKey openUserKey(const char* path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) key = nullptr;
  return OpenKey(key, &::RegCloseKey);
}

// The host's DirPath value as stored: its type and its bytes.
inline std::string storedDirPath() {
  const OpenKey key = openUserKey(rotavue_dll::kHostKeyPath);
  BYTE data[2048] = {};
  DWORD type = 0;
  DWORD size = sizeof data;
  if (!key || ::RegQueryValueExW(key.get(), L"DirPath", nullptr, &type, data, &size) != 0)
    return "<none>";
  return std::to_string(type) + ":" + std::string(reinterpret_cast<const char*>(data), size);
}

// The text of `ansi` in UTF-8, by the system's own conversion.
inline std::string utf8Of(const std::string& ansi) {
  return narrowOf(CP_UTF8, wideOf(CP_ACP, ansi));
}

inline void removeTree(const std::string& directory) {
  WIN32_FIND_DATAA data{};
  const HANDLE search = ::FindFirstFileA((directory + "*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = directory + name;
      folder_attributes::makeFolderWritable(path);
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        removeTree(path + "\\");
      else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        ::RemoveDirectoryA(path.c_str());
      else
        ::DeleteFileA(path.c_str());
    } while (::FindNextFileA(search, &data));
    ::FindClose(search);
  }
  ::RemoveDirectoryA(directory.c_str());
}

class HostCheckExe : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.loaded()) << "LoadLibraryA(\"Rotavue.dll\") failed: " << ::GetLastError();
    ASSERT_TRUE(dll_.complete());
    if (const char* expected =
            std::getenv("ROTAVUE_EXPECT_ACP")) {  // NOLINT(concurrency-mt-unsafe)
      ASSERT_EQ(::GetACP(), static_cast<UINT>(std::atoi(expected)))
          << "the locale that selects this code page is missing";
    }
    static int serial = 0;
    char temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    root_ = std::string(temp) + "rotavue-check-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++serial) + "\\";
    removeTree(root_);
    ASSERT_TRUE(::CreateDirectoryA(root_.c_str(), nullptr));
    host_ = root_ + "host\\";
    ASSERT_TRUE(::CreateDirectoryA(host_.c_str(), nullptr));
    ASSERT_TRUE(rotavue_dll::publishDirPath(host_));
    pictures_ = root_ + "pictures\\";
    ASSERT_TRUE(::CreateDirectoryA(pictures_.c_str(), nullptr));
  }

  void TearDown() override {
    rotavue_dll::deleteHostKey();
    removeTree(root_);
  }

  // A file of the picture tree, with its folders; `relative` uses "\".
  void writeFile(const std::string& relative) {
    std::string path = pictures_;
    for (std::size_t start = 0, slash; (slash = relative.find('\\', start)) != std::string::npos;
         start = slash + 1) {
      ::CreateDirectoryA((pictures_ + relative.substr(0, slash)).c_str(), nullptr);
    }
    const HANDLE file = ::CreateFileA((pictures_ + relative).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
    ::CloseHandle(file);
  }

  // Runs rotavue-host.exe with `arguments` (ANSI texts), as a user does.
  Outcome run(const std::vector<std::string>& arguments) {
    std::vector<std::wstring> wide;
    for (const std::string& argument : arguments) wide.push_back(wideOf(CP_ACP, argument));
    return runWide(wide);
  }

  // The same with arguments in UTF-16, which no code page limits; standard
  // output goes to `output` when one is given, and is missing altogether
  // with INVALID_HANDLE_VALUE, as where Task Scheduler starts `programName`.
  // With `whileRunning`, the program gets a console of its own, and the call
  // is given the process once it has started.
  Outcome runWide(const std::vector<std::wstring>& arguments, HANDLE output = nullptr,
                  const wchar_t* programName = L"rotavue-host.exe",
                  const std::function<void(const PROCESS_INFORMATION&)>& whileRunning = nullptr) {
    const std::wstring program = wideOf(CP_ACP, directoryOfThisProgram()) + programName;
    std::wstring commandLine = quotedArgument(program);
    for (const std::wstring& argument : arguments) commandLine += L" " + quotedArgument(argument);
    Outcome outcome;
    {
      InheritedFile out(root_ + "out.txt");
      InheritedFile err(root_ + "err.txt");
      STARTUPINFOW startup{};
      startup.cb = static_cast<DWORD>(sizeof startup);
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = nullptr;
      startup.hStdOutput = output == INVALID_HANDLE_VALUE ? nullptr
                           : output != nullptr            ? output
                                                          : out.get();
      startup.hStdError = err.get();
      PROCESS_INFORMATION process{};
      if (!::CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                            whileRunning ? CREATE_NEW_CONSOLE : 0, nullptr, nullptr, &startup,
                            &process)) {
        ADD_FAILURE() << "cannot start rotavue-host.exe: " << ::GetLastError();
        return outcome;
      }
      if (whileRunning) whileRunning(process);
      ::WaitForSingleObject(process.hProcess, INFINITE);
      ::GetExitCodeProcess(process.hProcess, &outcome.status);
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
    }
    outcome.out = rotavue_dll::readFile(root_ + "out.txt");
    outcome.err = rotavue_dll::readFile(root_ + "err.txt");
    return outcome;
  }

  nlohmann::json checkJson(const std::string& folder) {
    const Outcome outcome = run({"check", "--json", "--folder", folder});
    EXPECT_EQ(outcome.status, 0u) << outcome.err;
    return nlohmann::json::parse(outcome.out);
  }

  // The distinct images of one full GetImage cycle of the real module.
  std::set<std::string> rotation(const std::string& folder) {
    const std::uint32_t handle = dll_.dllstartup(0, 0);
    const std::string nickname = "cycle" + std::to_string(++cycles_);
    std::set<std::string> images;
    for (int call = 0; call < 100; ++call) {
      const std::string result =
          rotavue_dll::copied(dll_.GetImage(handle, nickname.c_str(), folder.c_str(), "0"));
      if (result.compare(0, folder.size(), folder) != 0 || !images.insert(result).second) break;
    }
    dll_.dllshutdown(handle);
    return images;
  }

  rotavue_dll::Module module_;
  rotavue_dll::Exports dll_{module_};
  std::string root_;
  std::string host_;
  std::string pictures_;
  int cycles_ = 0;
};

// The private keys of rotavue-host processes under HKEY_CURRENT_USER.
inline DWORD privateKeys() {
  DWORD keys = 0;
  const OpenKey tool = openUserKey("Software\\Rotavue");
  if (tool)
    ::RegQueryInfoKeyA(tool.get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, nullptr,
                       nullptr, nullptr, nullptr, nullptr);
  return keys;
}

}  // namespace host_program
