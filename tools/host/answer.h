// What a refresh of the module answered, as a script sees it: an image to
// print, a name that is no file, the wrap-around of a rotation, or a message
// that is no image. The
// one-shot commands (next, random, current) decide here, and only here,
// what they print.
#pragma once

#include <functional>
#include <string>

namespace rotavue_host {

enum class AnswerKind {
  kImage,    // the full path of an existing image
  kNotFile,  // a path named like an image, where no file exists
  kWrap,     // the rotation wrapped: the position now holds no image
  kMessage,  // anything else: an error text, or a path that is no image
};

// True when the file name at the end of `ansi` passes the module's
// image-name test (rotavue::isImageName).
bool namesImage(const std::string& ansi);

// The kind of `ansi`, a text the module answered (in the ANSI code page): an
// image when it names an image (namesImage) and a file exists there, links
// followed (platform::fileExistsFollowingLinks), else a name that is no file
// (a dangling link, a folder kept out, an image gone); otherwise the
// wrap-around when `positionCleared` (asked only then) says that the
// nickname's position holds "#" after the refresh, as it does after the
// module's "" and after a sub-folder's message at the wrap-around; otherwise
// a message.
AnswerKind answerKind(const std::string& ansi, const std::function<bool()>& positionCleared);

}  // namespace rotavue_host
