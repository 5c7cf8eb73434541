#!/usr/bin/env bash
# Checks that a release build depends on nothing but its sources: clones the
# commit HEAD twice, into folders under different parents, builds the
# release zip in each (the windows-release preset's `package` target, each
# in its own build folder) and compares Rotavue.dll, rotavue-host.exe, the
# zip and its checksum byte for byte. Also checks that no build path shows
# in either binary. Uncommitted changes are not part of the check.
#
#   scripts/check-reproducible.sh
set -euo pipefail
cd "$(dirname "$0")/.."

commit=$(git rev-parse HEAD)
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "check-reproducible: uncommitted changes are left out; building commit $commit"
fi
scratch=$(mktemp -d "${TMPDIR:-/tmp}/rotavue-reproducible.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trees=("$scratch/first/Rotavue" "$scratch/second/some/deeper/parent/Rotavue-source")

for tree in "${trees[@]}"; do
  git clone --quiet --no-checkout . "$tree"
  git -C "$tree" -c advice.detachedHead=false checkout --quiet "$commit"
  (cd "$tree" && cmake --preset windows-release >/dev/null &&
    cmake --build --preset windows-release --target package >/dev/null)
done

version=$(sed -n 's/^project(Rotavue VERSION \([0-9][0-9.]*\) .*/\1/p' "${trees[0]}/CMakeLists.txt")
zip=Rotavue-${version}-win32.zip
status=0
for file in Rotavue.dll rotavue-host.exe "$zip" "$zip.sha256"; do
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
  for binary in Rotavue.dll rotavue-host.exe; do
    file=$tree/build/windows-release/$binary
    if { strings -a "$file" && strings -a -el "$file"; } | grep -q rotavue-reproducible; then
      echo "$binary built in $tree holds a build path" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "reproducible: commit $commit builds the same release in both folders"
exit "$status"
