// Fuzz target: the image-name test against a plain reading of its rule: the
// text after the last "." (or the whole name), lower-cased, is one of the
// five extensions.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "walk/walk.h"

namespace {

bool referenceIsImageName(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? name : name.substr(dot + 1);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension == "jpg" || extension == "bmp" || extension == "gif" || extension == "ico" ||
         extension == "png";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string name(std::string(reinterpret_cast<const char*>(data), size).c_str());
  if (rotavue::isImageName(name.c_str()) != referenceIsImageName(name)) std::abort();
  return 0;
}
