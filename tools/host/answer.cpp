// The kinds of the module's answers, by the module's own image-name test and
// file-existence test, linked from its core.
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
    return rotavue::platform::fileExists(ansi) ? AnswerKind::kImage : AnswerKind::kNotFile;
  return positionCleared() ? AnswerKind::kWrap : AnswerKind::kMessage;
}

}  // namespace rotavue_host
