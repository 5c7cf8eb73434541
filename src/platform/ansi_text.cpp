// The rules for texts in the ANSI code page that both backends share: where
// a path separator stands in a text of a double-byte code page, and how a
// directory entry is named to the host.
#include <cstddef>

#include "platform/platform.h"

namespace rotavue::platform {

namespace {

bool isAscii(std::u16string_view name) {
  for (const char16_t unit : name)
    if (unit >= 0x80) return false;
  return true;
}

}  // namespace

std::size_t lastSeparator(const std::string& text) {
  const LeadByteFunction isLeadByte = hooks().isLeadByte;
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size())
      ++i;  // the second byte belongs to the character
    else if (text[i] == kPathSeparator)
      last = i;
  }
  return last;
}

bool endsInSeparator(const std::string& text) {
  // Only a text whose last byte has the separator's value needs the scan
  // from its start, since only the scan tells a second byte from a
  // character of its own.
  if (text.empty() || text.back() != kPathSeparator) return false;
  return lastSeparator(text) == text.size() - 1;
}

EntryNameForm chooseEntryName(std::u16string_view longName, std::u16string_view shortName,
                              AnsiConversionFunction convert, std::string& ansi) {
  if (isAscii(longName)) {
    ansi.assign(longName.begin(), longName.end());
    return EntryNameForm::kLongName;
  }
  if (convert(longName, ansi)) return EntryNameForm::kLongName;
  if (!shortName.empty()) {
    if (isAscii(shortName)) {
      ansi.assign(shortName.begin(), shortName.end());
      return EntryNameForm::kShortName;
    }
    if (convert(shortName, ansi)) return EntryNameForm::kShortName;
  }
  ansi.clear();
  return EntryNameForm::kUnreachable;
}

}  // namespace rotavue::platform
