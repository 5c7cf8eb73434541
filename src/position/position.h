// The position store: each nickname's rotation remembers the image it showed
// last in a one-line text file in the host's directory.
//
// The host publishes its directory in the registry value "DirPath" under
// HKEY_CURRENT_USER\Software\Glintora\General. A nickname's position file is
// that text, the nickname and "Rotavue.setup", joined verbatim. Its one line
// is the stored directory (ending in the path separator), "#" and the stored
// file name, then CR LF; the line "#" means that no position is stored.
//
// Both operations report their failures through `errorText` and never raise.
// A save never leaves a half-written position behind where it can help it:
// the line is written to a temporary file of its own beside the position
// file and flushed to the disk, and that file then replaces it, so that
// neither a crash nor a power cut leaves an empty position file. Where that
// cannot be done, the position file is written in place, so that a save
// succeeds wherever a plain write would.
// A save never writes a position file that the host's file calls cannot open
// (platform::hostCanOpenPath), since no load could read it back. A load reads
// no further than the first line, and no further than kPositionLineLimit
// bytes, however large the file.
#pragma once

#include <cstddef>
#include <string>

#include "host/meter_data.h"

namespace rotavue {

// Where the host publishes its directory: the key under HKEY_CURRENT_USER
// and the value's name.
inline constexpr char kRegistryKey[] = "Software\\Glintora\\General";
inline constexpr char kRegistryValueName[] = "DirPath";

// What follows the nickname in a position file's name.
inline constexpr char kPositionFileSuffix[] = "Rotavue.setup";

// The position file's first line; "#" when no position file exists; "" after
// a failure, with `errorText` set (it is never cleared here). Sets
// `positionFilePath` whenever the registry value could be read.
std::string loadPosition(meter_data& instance, const std::string& nickname);

// Stores the selection (`imageDirectory` "#" `imageFileName`) when the walk
// that has just run ended "EXIT" or reached its target (`walkCounter` -1);
// otherwise empties the selection and stores "#". Sets `positionFilePath`,
// and `errorText` on a failure.
void savePosition(meter_data& instance, const std::string& nickname);

// The path of the nickname's position file, as both operations form it from
// DirPath; "" when DirPath cannot be read or used. Touches no file.
std::string positionFileOf(const std::string& nickname);

// The path of a file of the nickname's own beside its position file: the
// DirPath text, the nickname and `suffix`, which has the 13 bytes of
// "Rotavue.setup" so that the position file's rules for paths and temporary
// names apply to it unchanged. Raises the position file's texts for a DirPath
// that cannot be read or used ("Unable to access the registry", ...).
std::string nicknameFilePath(const std::string& nickname, const char* suffix);

// Replaces the file at `path` (a position file, or a file of nicknameFilePath)
// by `contents` as a save replaces the position file: in one step where it
// can, else in place. Raises "Cannot create file <path>" or "Stream write
// error", leaving the file as the position file's save would.
void replaceFileAtomically(const std::string& path, const std::string& contents);

// How much of a position file's first line a load reads: far more than any
// line a save writes (one image path, which the system's path limit bounds),
// so that only a file the module did not write has a longer first line,
// which is cut here.
inline constexpr std::size_t kPositionLineLimit = std::size_t{64} * 1024;

// The first line of a position file's contents: the text up to the first CR
// or LF, a NUL ending the text. Raises "List index out of bounds (0)" when
// there is no line at all.
std::string firstLineOf(const std::string& contents);

}  // namespace rotavue
