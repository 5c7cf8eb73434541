// Shared parts of the benchmarks: the generated image trees, the bare
// enumeration that is the floor of every walk, a counter of the entries the
// walks read, a heap counter for the peak memory of a refresh, and the host's
// registry value pointed at a scratch directory. The OS-specific parts live in bench_posix.cpp and
// bench_win32.cpp, which CMake selects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace rotavue::bench {

// A generated tree and the images a benchmark needs to know about.
struct ImageTree {
  std::string label;  // "flat 10000", "nested 100000"
  std::string root;   // ends in the path separator
  std::size_t entries = 0;
  std::int32_t images = 0;
  std::string lastDirectory, lastFile;  // last image in walk order
};

// Builds a tree under `base`: `files` files spread over `folders` folders at
// depths 1 to 5 (0 folders: all in one flat folder), about a quarter of them
// not images, a few of the folders hidden. Fills in the walk-order facts.
ImageTree makeTree(const std::string& base, const std::string& label, int files, int folders);

// Visits every entry of the tree with the platform's own calls and nothing
// else (readdir; FindFirstFileExA / FindNextFileA / FindClose). Returns the
// entries visited.
std::size_t bareEnumerate(const std::string& directory);

// The platform's loop behind it: visits the tree's entries.
std::size_t enumerateTree(std::string& directory);

// The entries that `operation` has the module's walks read, counted through
// the enumeration hook.
std::size_t entriesRead(const std::function<void()>& operation);

// A fresh scratch directory, ending in the separator: in the system's
// temporary folder, or in `parent`.
std::string makeScratchDirectory();
std::string makeScratchDirectory(const std::string& parent);
void removeTree(const std::string& root);
void makeDirectory(const std::string& path);
void writeFile(const std::string& path, const std::string& contents);
// Hides a freshly made, still empty directory; returns its path from then on.
std::string makeHidden(const std::string& directory);

// Points the host's registry value DirPath at `directory`.
void publishDirPath(const std::string& directory);

// The helpers of bench/one-shot.sh, which times whole processes: with
// `--make-tree DIR` (DIR ending in the separator) the program builds the
// nested tree of 100,000 files in 1,000 folders as DIR/nested/ and prints
// its root; with `--walk DIR` it runs the bare enumeration over DIR once.
// True when it did one of them, and the program is to end.
bool runProcessHelper(int argc, char** argv);

// The program's own options, for --help.
inline constexpr char kOptionsHelp[] =
    "Options of rotavue-bench:\n"
    "  --smoke                  small trees and one round: a quick run for CI\n"
    "  --rounds N               rounds of the side-by-side pass and of --series (default 15)\n"
    "  --cycle FILES FOLDERS    one full GetImage cycle over FILES files in FOLDERS folders,\n"
    "                           with the walks' shortcuts and without\n"
    "  --series                 the refresh's time / a bare walk's by the place in the walk\n"
    "                           order, on the nested tree, as data for bench/plot-series.sh\n"
    "  --make-tree DIR          build the nested tree under DIR and print its root\n"
    "                           (for bench/one-shot.sh)\n"
    "  --walk DIR               one bare walk of DIR (for bench/one-shot.sh)\n"
    "  --flush DIR              GetImage refreshes with the position file's flush and\n"
    "                           without, in a scratch folder under DIR (on the disk to\n"
    "                           measure, not tmpfs): median and 95th percentile\n"
    "  -h, --help               this text\n";

// The platform's write of a new file as it was before the save flushed it:
// the same calls without FlushFileBuffers or fsync, counted as flushed, so
// that the save goes on as it did. Installed as the writeNewFile hook, it
// measures what the flush costs.
platform::WriteOutcome writeNewFileWithoutFlush(const std::string& path,
                                                platform::Creation creation, const char* data,
                                                std::size_t size);

// Heap use of the whole process, counted by the benchmark's replacement of
// operator new and delete.
std::size_t heapInUse();
std::size_t heapPeak();
void resetHeapPeak();

}  // namespace rotavue::bench
