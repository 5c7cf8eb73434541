// The kinds of the module's answers, by the module's own image-name test,
// linked from its core, and a file-existence test that follows links, so
// that a link to no file is no image on Windows either.
#include "answer.h"

#include "platform/platform.h"
#include "walk/walk.h"

namespace rotavue_host {

bool namesImage(const std::string& ansi) {
  const std::size_t separator = rotavue::platform::lastSeparator(ansi);
  const std::string name = separator == std::string::npos ? ansi : ansi.substr(separator + 1);
  return rotavue::isImageName(name);
}

AnswerKind answerKind(const std::string& ansi, const std::function<bool()>& positionCleared) {
  if (namesImage(ansi))
    return rotavue::platform::fileExistsFollowingLinks(ansi) ? AnswerKind::kImage
                                                             : AnswerKind::kNotFile;
  return positionCleared() ? AnswerKind::kWrap : AnswerKind::kMessage;
}

}  // namespace rotavue_host
