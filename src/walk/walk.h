// The directory-tree walks over an image tree, and the image-name test.
//
// Both walks enumerate a tree depth-first in the platform's enumeration
// order, one level per directory: a sub-directory is walked at the moment its
// entry is met and to its end before its parent takes its next entry. They
// never sort and never look at more of an entry than its attribute word and
// its name. They enter a directory entry when isEnteredDirectory holds for
// its attribute word; every other entry, a directory kept out included, goes
// through the image-name test.
//
// An entry that the host could not open, because its name has no exact form
// in the ANSI code page and no short name with one, is passed over by both
// walks as if it were not there, so that they always agree.
//
// Their outcome lies in the instance's fields; a failure to enumerate a
// directory leaves the system's message text in `errorText` and ends that
// level only.
#pragma once

#include <cstdint>
#include <string>

#include "host/meter_data.h"
#include "platform/platform.h"

namespace rotavue {

// The attribute bits that keep the walks out of a directory: hidden and
// system, which the user may have set on purpose; device; reparse point
// (junctions, links and cloud placeholders, kept out so that no walk can
// loop); offline and the two recall bits, since entering such a folder would
// download a cloud library. Every other bit (read-only, archive,
// not-content-indexed, compressed, encrypted, pinned and so on) says nothing
// about a folder's content: Windows sets read-only on every customised
// folder, and one setting of a drive marks all its folders not indexed.
inline constexpr std::uint32_t kNotEnteredAttributes =
    platform::kAttributeHidden | platform::kAttributeSystem | platform::kAttributeDevice |
    platform::kAttributeReparsePoint | platform::kAttributeOffline |
    platform::kAttributeRecallOnOpen | platform::kAttributeRecallOnDataAccess;

// True when the walks enter a directory entry with this attribute word: it
// has the directory bit and none of kNotEnteredAttributes.
constexpr bool isEnteredDirectory(std::uint32_t attributes) {
  return (attributes & (platform::kAttributeDirectory | kNotEnteredAttributes)) ==
         platform::kAttributeDirectory;
}

// True for the names of entered directories that are never descended into:
// "." and "..", and a name that is empty, which no file system should deliver
// but which would make a level walk itself again and again.
bool isSkippedDirectoryName(const char* name);

// True when the extension of `name` (the text after its last ".", or the
// whole name when it has none), lower-cased, is "jpg", "bmp", "gif", "ico"
// or "png".
bool isImageName(const char* name);
inline bool isImageName(const std::string& name) { return isImageName(name.c_str()); }

// The image walk. Sequential mode (`targetIndex` 0): from "NOTFOUND", select
// the image after the one at `previousDirectory` + `previousFile` (after the
// first image met when `previousFile` is empty); from "FOUND", select the
// first image. Indexed mode: select the image at which `walkCounter`, raised
// by one per image, equals `targetIndex`, and set `walkCounter` to -1 there.
// Every image met before the walk stops becomes the selection
// (`imageDirectory`, `imageFileName`). Catches only `EAccessViolation`.
//
// An empty `directory` is never searched (its search would be the root of the
// drive, or of the file system): it fails like a directory that does not
// exist, with the system's message for a missing path.
void walkImages(meter_data& instance, const std::string& directory,
                const std::string& previousDirectory, const std::string& previousFile,
                std::int32_t targetIndex);

// The count walk: adds one to `imageCount` for every image of the tree,
// visiting every level to its end. The caller sets `imageCount` to 0 and
// `walkContinue` to 1 beforehand. Catches every `Exception`, ending the level
// that raised it. An empty `directory` fails as for `walkImages`.
void countImages(meter_data& instance, const std::string& directory);

}  // namespace rotavue
