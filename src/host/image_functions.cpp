// The rotation functions, the random image function, the shuffle and the
// wallpaper placeholder: one refresh each, from the gate through the walk to
// the position file and the result text.
#include "host/image_functions.h"

#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <tuple>

#include "host/errors.h"
#include "platform/platform.h"
#include "position/cycle.h"
#include "position/position.h"
#include "walk/walk.h"

namespace rotavue {

namespace {

// The fields that a walking refresh starts from.
void prepareWalk(meter_data& instance) {
  instance.walkStatus = WalkStatus::kNotFound;
  instance.errorText.clear();
  instance.imageCount = 0;
  instance.walkContinue = 1;
  instance.imageDirectory.clear();
  instance.imageFileName.clear();
  instance.walkCounter = 0;
}

// Writes `prefix` followed by `message` without allocating, so that even an
// out-of-memory failure is reported.
void writeFailure(meter_data& instance, const char* prefix, const char* message) {
  const std::size_t prefixLength = std::strlen(prefix);
  std::size_t length = prefixLength < kResultBufferSize - 1 ? prefixLength : kResultBufferSize - 1;
  std::memcpy(instance.resultText.data(), prefix, length);
  const std::size_t room = kResultBufferSize - 1 - length;
  const std::size_t messageLength = ::strnlen(message, room);
  std::memcpy(instance.resultText.data() + length, message, messageLength);
  instance.resultText[length + messageLength] = '\0';
}

// The selection's full path ("" when nothing is selected).
void writeSelection(meter_data& instance) {
  writeResult(instance, instance.imageDirectory + instance.imageFileName);
}

// Stores the walk's outcome and writes what the host is to show. A failure
// of the save is shown, since the rotation did not move on. Otherwise the
// selected image is shown even when some folder of the tree could not be
// read: that folder hides nothing else. The walk's failure text is shown only
// where there is no image to show (the wrap-around, a root that failed), and
// it stays in `errorText`. `thenSave`, when given, stores more once the
// position is stored, and may fail as the position's save does.
void saveAndReport(meter_data& instance, const std::string& nickname, bool selected,
                   const std::function<void()>& thenSave = nullptr) {
  std::string walkFailure;
  walkFailure.swap(instance.errorText);
  savePosition(instance, nickname);
  if (instance.errorText.empty() && thenSave) thenSave();
  if (!instance.errorText.empty()) {
    writeResult(instance, instance.errorText);
    return;
  }
  instance.errorText.swap(walkFailure);
  if (selected || instance.errorText.empty()) {
    writeSelection(instance);
  } else {
    writeResult(instance, instance.errorText);
  }
}

// Runs `refresh` and turns any error into the result text, `prefix` first.
template <typename Refresh>
const char* guarded(meter_data& instance, const char* prefix, Refresh refresh) {
  try {
    refresh();
  } catch (const Exception& failure) {
    writeFailure(instance, prefix, failure.message().c_str());
  } catch (const std::exception& failure) {
    writeFailure(instance, prefix, failure.what());
  } catch (...) {
    writeFailure(instance, prefix, "Unknown error");
  }
  return instance.resultText.data();
}

}  // namespace

std::pair<std::string, std::string> splitPosition(const std::string& line) {
  // "#" is never the second byte of a double-byte character, so only the
  // separator needs the code page's rule.
  const std::size_t separator = platform::lastSeparator(line);
  std::size_t mark = std::string::npos;
  if (separator != std::string::npos && separator + 1 < line.size() && line[separator + 1] == '#')
    mark = separator + 1;
  else
    mark = line.find('#');
  if (mark == std::string::npos) return {std::string(), line};
  return {line.substr(0, mark), line.substr(mark + 1)};
}

std::uint64_t mixSeconds(std::uint64_t seconds) {
  std::uint64_t z = seconds + 0x9E3779B97F4A7C15U;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9U;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBU;
  return z ^ (z >> 31);
}

std::uint64_t nicknameHash(const std::string& nickname) {
  std::uint64_t hash = 0xcbf29ce484222325U;
  for (const char c : nickname) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3U;
  }
  return hash;
}

std::uint64_t mixSecondsAndNickname(std::int64_t seconds, const std::string& nickname) {
  return mixSeconds(static_cast<std::uint64_t>(seconds) ^ nicknameHash(nickname));
}

std::int32_t drawRandomIndex(std::int64_t seconds, const std::string& nickname,
                             std::int32_t imageCount) {
  const std::uint64_t high = mixSecondsAndNickname(seconds, nickname) >> 32;
  const std::uint64_t count = static_cast<std::uint32_t>(imageCount);
  return static_cast<std::int32_t>((high * count) >> 32);
}

const char* getImage(meter_data& instance, const char* nickname, const char* directory,
                     const char* interval, Shortcuts shortcuts) {
  return guarded(instance, "GetImage:", [&] {
    if (!isRefreshDue(instance, interval)) return;
    prepareWalk(instance);
    renewResult(instance);
    const std::string line = loadPosition(instance, nickname);
    if (!instance.errorText.empty()) {
      writeResult(instance, instance.errorText);
      return;
    }
    std::string previousDirectory;
    std::string previousFile;
    if (line == "#") {
      instance.walkStatus = WalkStatus::kFound;
      previousDirectory = directory;
    } else {
      std::tie(previousDirectory, previousFile) = splitPosition(line);
    }
    WalkShortcuts towardsPrevious;
    towardsPrevious.towardsPrevious = shortcuts == Shortcuts::kTaken;
    if (walkImages(instance, directory, previousDirectory, previousFile, 0, towardsPrevious) != 0 &&
        instance.walkStatus != WalkStatus::kExit) {
      // The stored image's successor was not on the way to it: the
      // wrap-around, a stored image that is gone, or no image at all. The
      // whole walk decides, from the fields as the refresh prepared them (a
      // walk that passed folders by started at "NOTFOUND"), so that what is
      // shown and stored, failures of skipped folders included, is exactly
      // its outcome. This happens once per cycle of the rotation.
      prepareWalk(instance);
      walkImages(instance, directory, previousDirectory, previousFile, 0);
    }
    saveAndReport(instance, nickname, instance.walkStatus == WalkStatus::kExit);
  });
}

namespace {

// Counts the tree and selects the image at a random position of it. True
// when there is an image to show; the instance's fields hold the pick. The
// count's records, with which the walk steps over what lies before the pick,
// are freed before the save.
bool pickRandomImage(meter_data& instance, const char* nickname, const char* directory,
                     Shortcuts shortcuts) {
  SubtreeCounts counts;
  countImages(instance, directory, shortcuts == Shortcuts::kTaken ? &counts : nullptr);
  if (instance.imageCount == 0) {
    writeResult(instance, kNoImagesMessage);
    return false;
  }
  // A folder that failed during the count hides nothing else: the pick is
  // made among the images counted, and the count's failure is kept only
  // for a walk that ends with nothing to show.
  std::string countFailure;
  countFailure.swap(instance.errorText);
  const std::int32_t randomIndex =
      drawRandomIndex(platform::hooks().calendarSeconds(), nickname, instance.imageCount);
  if (randomIndex == 0) {
    instance.walkStatus = WalkStatus::kFound;
    walkImages(instance, directory, std::string(), std::string(), 0);
  } else {
    WalkShortcuts beforeTheTarget;
    beforeTheTarget.counts = &counts;
    walkImages(instance, directory, std::string(), std::string(), randomIndex, beforeTheTarget);
  }
  if (instance.errorText.empty()) instance.errorText.swap(countFailure);
  return true;
}

}  // namespace

const char* getRandomImage(meter_data& instance, const char* nickname, const char* directory,
                           const char* interval, Shortcuts shortcuts) {
  return guarded(instance, "", [&] {
    if (!isRefreshDue(instance, interval)) return;
    prepareWalk(instance);
    renewResult(instance);
    if (!pickRandomImage(instance, nickname, directory, shortcuts)) return;
    saveAndReport(instance, nickname,
                  instance.walkStatus == WalkStatus::kExit || instance.walkCounter == -1);
  });
}

namespace {

// How many keys a new cycle tries for a first image that is not the one just
// shown. Each key succeeds with a chance of (n - 1) / n in a tree of n images;
// the bound only keeps a tree whose images all have one path (which no file
// system lists) from holding a refresh for ever.
constexpr int kNewCycleKeys = 64;

// Selects the next image of the shuffle whose state is `state` and moves the
// state on to it. False, with the message written, when the tree has no
// image. Each image is shown once per cycle: the one whose hash under the
// cycle's key is the least above the threshold (the hash of the image shown
// last). When none lies above it, the cycle is over: the next key is the
// mixed key, and the walk runs again, with a further key while its first
// image is the one just shown (its hash under the old key is the old
// threshold) and the tree has another.
bool pickShuffledImage(meter_data& instance, const char* directory, CycleState& state) {
  ShufflePick pick = shuffleImages(instance, directory, state.key, state.threshold);
  if (!pick.selected && pick.images > 0 && state.threshold) {
    const CycleState ended = state;
    for (int key = 0; key < kNewCycleKeys; ++key) {
      state = CycleState{mixSeconds(state.key), std::nullopt};
      instance.errorText.clear();
      pick = shuffleImages(instance, directory, state.key, std::nullopt);
      if (!pick.selected || pick.images < 2 ||
          shuffleHash(ended.key, pick.relativePath) != *ended.threshold)
        break;
    }
  }
  if (!pick.selected) {
    writeResult(instance, kNoImagesMessage);
    return false;
  }
  state.threshold = pick.hash;
  return true;
}

}  // namespace

const char* getShuffledImage(meter_data& instance, const char* nickname, const char* directory,
                             const char* interval) {
  return guarded(instance, "", [&] {
    if (!isRefreshDue(instance, interval)) return;
    prepareWalk(instance);
    renewResult(instance);
    std::optional<CycleState> state = loadCycleState(instance, nickname);
    if (!instance.errorText.empty()) {
      writeResult(instance, instance.errorText);
      return;
    }
    // No state, or none that can be read: a new cycle, whose key differs
    // between nicknames that start it in the same second.
    if (!state)
      state = CycleState{mixSecondsAndNickname(platform::hooks().calendarSeconds(), nickname),
                         std::nullopt};
    if (!pickShuffledImage(instance, directory, *state)) return;
    // The pick becomes the position first, so that the reporting functions
    // and a GetImage meter on the nickname see it; then the cycle moves on.
    // When either save fails, the state stays as it was, and the next
    // refresh shows the pick again rather than skipping it.
    saveAndReport(instance, nickname, true, [&] { saveCycleState(instance, nickname, *state); });
  });
}

namespace {

enum class Report { kFullPath, kFileName };

const char* reportPosition(meter_data& instance, const char* nickname, const char* interval,
                           Report report) {
  return guarded(instance, "", [&] {
    if (!isRefreshDue(instance, interval)) return;
    instance.errorText.clear();
    renewResult(instance);
    const std::string line = loadPosition(instance, nickname);
    if (!instance.errorText.empty()) {
      writeResult(instance, instance.errorText);
      return;
    }
    const auto [storedDirectory, storedFile] = splitPosition(line);
    writeResult(instance, report == Report::kFullPath ? storedDirectory + storedFile : storedFile);
  });
}

}  // namespace

const char* returnCurrentImage(meter_data& instance, const char* nickname, const char* interval) {
  return reportPosition(instance, nickname, interval, Report::kFullPath);
}

const char* returnCurrentImageName(meter_data& instance, const char* nickname,
                                   const char* interval) {
  return reportPosition(instance, nickname, interval, Report::kFileName);
}

const char* changeWallpaper(meter_data& instance, const char* interval) {
  try {
    if (isRefreshDue(instance, interval)) renewResult(instance);
    writeResult(instance, kWallpaperMessage);
  } catch (...) {
    // The wallpaper placeholder reports the instance's last failure, not the
    // gate's message.
    writeFailure(instance, "", instance.errorText.c_str());
  }
  return instance.resultText.data();
}

}  // namespace rotavue
