#!/usr/bin/env bash
# Checks that a release build depends on nothing but its sources: copies the
# sources twice, into folders under different parents, builds the release
# zip in each (the windows-release preset's `package` target, each in its own
# build folder) and compares Rotavue.dll, rotavue-host.exe, rotavue-hostw.exe,
# the zip and its checksum byte for byte. Also checks that no build path shows in either
# binary. In a git work tree (a clone or a worktree) the copies are clones of
# the commit HEAD, and uncommitted changes are not part of the check. In a
# tree without git (a release's source download) they are copies of the tree
# as it is, build/ left out; the zip then takes its entries' time from
# $SOURCE_DATE_EPOCH or packaging/normalize-zip.cmake's fixed time.
#
#   scripts/check-reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scratch=$(mktemp -d "${TMPDIR:-/tmp}/rotavue-reproducible.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trees=("$scratch/first/Rotavue" "$scratch/second/some/deeper/parent/Rotavue-source")

# Only a work tree whose top is this folder counts: a source download
# unpacked inside some other repository has no commit of its own.
commit=
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$(pwd -P)" ]; then
  commit=$(git rev-parse HEAD)
  sources="commit $commit"
  if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "check-reproducible: uncommitted changes are left out; building commit $commit"
  fi
else
  sources="the tree $(pwd -P) (no git)"
  echo "check-reproducible: no git work tree here; building copies of $(pwd -P), build/ left out"
fi
for tree in "${trees[@]}"; do
  if [ -n "$commit" ]; then
    git clone --quiet --no-checkout . "$tree"
    git -C "$tree" -c advice.detachedHead=false checkout --quiet "$commit"
  else
    mkdir -p "$tree"
    tar -c --exclude=./build . | tar -x -C "$tree"
  fi
  (cd "$tree" && cmake --preset windows-release >/dev/null &&
    cmake --build --preset windows-release --target package >/dev/null)
done

version=$(sed -n 's/^project(Rotavue VERSION \([0-9][0-9.]*\) .*/\1/p' "${trees[0]}/CMakeLists.txt")
zip=Rotavue-${version}-win32.zip
status=0
for file in Rotavue.dll rotavue-host.exe rotavue-hostw.exe "$zip" "$zip.sha256"; do
  one=${trees[0]}/build/windows-release/$file
  two=${trees[1]}/build/windows-release/$file
  hashes="$(sha256sum <"$one" | cut -c1-64) $(sha256sum <"$two" | cut -c1-64)"
  if cmp -s "$one" "$two"; then
    echo "$file: identical, sha256 ${hashes% *}"
  else
    echo "$file: DIFFERENT, sha256 $hashes" >&2
    status=1
  fi
done
for tree in "${trees[@]}"; do
  for binary in Rotavue.dll rotavue-host.exe rotavue-hostw.exe; do
    file=$tree/build/windows-release/$binary
    if { strings -a "$file" && strings -a -el "$file"; } | grep -q rotavue-reproducible; then
      echo "$binary built in $tree holds a build path" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "reproducible: $sources builds the same release in both folders"
exit "$status"
