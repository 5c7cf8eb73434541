// Loading the module and finding its protocol exports by name, and reading
// the texts it returns.
#include "plugin.h"

#include "platform/platform.h"
#include "system.h"

namespace rotavue_host {

std::vector<std::string> splitText(const std::string& text, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t end = text.find(separator); end != std::string::npos;
       start = end + 1, end = text.find(separator, start))
    fields.push_back(text.substr(start, end - start));
  fields.push_back(text.substr(start));
  return fields;
}

std::string shownText(const char* ansi) {
  return ansi != nullptr ? rotavue::platform::ansiToUtf8(ansi) : "(null)";
}

Arity arityOf(const std::string& functionName) {
  if (functionName == "GetImage" || functionName == "GetRandomImage" ||
      functionName == "GetShuffledImage" || functionName == "ChangeWallpaper")
    return Arity::kThreeTexts;
  if (functionName == "returnCurrentImage" || functionName == "returnCurrentImageName")
    return Arity::kTwoTexts;
  return Arity::kUnknown;
}

Plugin::~Plugin() {
  if (module_ != nullptr) unloadModule(module_);
}

bool Plugin::load(const std::string& path, std::string& error) {
  module_ = loadModule(path, error);
  if (module_ == nullptr) {
    error = path + ": cannot load the module: " + error;
    return false;
  }
  const auto find = [&](const char* name, auto& target) {
    void* address = symbol(name);
    if (address == nullptr && error.empty()) error = path + ": the module does not export " + name;
    target = asFunction<std::remove_reference_t<decltype(target)>>(address);
  };
  error.clear();
  find("init", init);
  find("getparam", getparam);
  find("getinfo", getinfo);
  find("dlltype", dlltype);
  find("dllstartup", dllstartup);
  find("dllshutdown", dllshutdown);
  return error.empty();
}

void* Plugin::symbol(const char* name) const { return findSymbol(module_, name); }

}  // namespace rotavue_host
