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
// walks as if it were not there, so that they always agree; so is, natively,
// an image whose full path would not fit the result text
// (platform::kImagePathBytesLimit), which would reach the host cut.
//
// Their outcome lies in the instance's fields; a failure to enumerate a
// directory leaves the system's message text in `errorText` and ends that
// level only.
//
// A third walk, the shuffle walk, reads the whole tree and selects by a
// keyed hash of each image's path instead of by the walk order.
//
// A refresh need not read the whole tree. Two shortcuts let the image walk
// pass by folders whose content cannot change its outcome: on the way to the
// previous image, a folder that cannot hold it; before an indexed target, a
// folder whose images the count walk that has just run already counted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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

// What a count walk learned of the folders it entered, for one indexed walk
// of the same tree right after it: one record per folder in walk order (the
// root first), about a dozen bytes each. It lives for one refresh.
class SubtreeCounts {
 public:
  struct Record {
    // Images in the folder's subtree; kUnknownImages when the count could
    // not read the whole subtree (a folder that failed inside it).
    std::uint32_t images;
    // Records that follow for the folders inside it.
    std::uint32_t foldersBelow;
    // A hash of the folder's own name, so that a walk notices a folder
    // renamed, added or removed since the count.
    std::uint32_t nameHash;
  };
  static constexpr std::uint32_t kUnknownImages = 0xFFFFFFFF;
  static constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);

  // Empty when recording ran out of memory: then no walk uses them.
  const std::vector<Record>& records() const { return records_; }

  // For the count walk, as it enters the folder named `name` ("" for the
  // root): starts its record and returns its index, or kNoRecord once there
  // was no memory for a record.
  std::size_t open(const char* name);
  // As it leaves that folder: completes the record with the images counted
  // in its subtree, or kUnknownImages when not all of it could be read.
  void close(std::size_t index, std::uint32_t images, bool readWhole);

 private:
  std::vector<Record> records_;
  bool outOfMemory_ = false;
};

// The hash of a folder's name that its record keeps.
std::uint32_t folderNameHash(const char* name);

// The shortcuts an image walk may take; none by default.
struct WalkShortcuts {
  // Sequential mode, while the previous image has not been met and
  // `previousFile` is not empty: a folder is entered only when its level
  // directory is a byte prefix of `previousDirectory`, since no other can
  // hold the previous image. When such a walk passed a folder by and did not
  // end "EXIT", its outcome may differ from the whole walk's: the caller
  // walks again without shortcuts.
  bool towardsPrevious = false;
  // Indexed mode: the records of the count walk that has just run over the
  // same tree. A folder whose whole subtree lies before the target is not
  // entered; its images are added to `walkCounter`. Where the records stop
  // matching the tree, the rest of the walk enters every folder.
  const SubtreeCounts* counts = nullptr;
};

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
//
// With `shortcuts` the walk may pass folders by (see WalkShortcuts); it
// returns how many it passed by, 0 for a walk that read all it would have
// read without them.
std::size_t walkImages(meter_data& instance, const std::string& directory,
                       const std::string& previousDirectory, const std::string& previousFile,
                       std::int32_t targetIndex, const WalkShortcuts& shortcuts = {});

// The count walk: adds one to `imageCount` for every image of the tree,
// visiting every level to its end. The caller sets `imageCount` to 0 and
// `walkContinue` to 1 beforehand. Catches every `Exception`, ending the level
// that raised it. An empty `directory` fails as for `walkImages`. With
// `counts`, records every folder it enters for an indexed walk to come.
void countImages(meter_data& instance, const std::string& directory,
                 SubtreeCounts* counts = nullptr);

// The hash that orders a shuffle under `key`: SipHash-1-3 (sip_hash.h) of an
// image's path relative to the walked folder, as the walks form it (the
// names of the folders below it, each followed by the separator, then the
// image's name; ANSI bytes). It depends on nothing else, so an order
// survives a library that moved, and two meters that write the folder
// differently share it.
std::uint64_t shuffleHash(std::uint64_t key, const std::string& relativePath);

// What a shuffle walk found.
struct ShufflePick {
  // True when an image lies above the threshold: it is then the selection
  // (`imageDirectory`, `imageFileName`), `walkStatus` is "EXIT", and `hash`
  // and `relativePath` are its own.
  bool selected = false;
  std::uint64_t hash = 0;
  std::string relativePath;
  // The images met: those that countImages counts.
  std::int32_t images = 0;
};

// The shuffle walk: visits every image of the tree, entering the folders and
// passing over the names that the other walks do, and selects the one whose
// shuffleHash under `key` is the least above `threshold`, or the least of all
// when there is no threshold. Every level is enumerated to its end; nothing
// else of the instance changes (`walkStatus` only when an image is selected).
// Catches every `Exception`, ending the level that raised it, as the count
// walk does. An empty `directory` fails as for `walkImages`.
ShufflePick shuffleImages(meter_data& instance, const std::string& directory, std::uint64_t key,
                          const std::optional<std::uint64_t>& threshold);

}  // namespace rotavue
