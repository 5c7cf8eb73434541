#!/usr/bin/env bash
# Checks the Linux install as a user makes it: builds the native-release
# preset and its Debian package (`cmake --workflow --preset native-release`:
# configure, build, `cpack -G DEB`), installs the build with `cmake --install`
# into a temporary prefix and runs `rotavue-host next` from there, then
# unpacks the package with `dpkg-deb -x` and runs `next` from that.
# Each copy runs in a HOME of its own: `check` with no options must walk the
# example folder that came with that copy, and `next` over that folder must
# print one of its images: the tool finds its module and pictures from its
# own path. The package must declare its dependencies and pass lintian.
#
#   scripts/check-install.sh
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "check-install: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(Rotavue VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
build=build/native-release
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --workflow --preset native-release >"$scratch/build.txt" 2>&1 ||
  fail "the native-release workflow failed: $(tail -20 "$scratch/build.txt")"

# check_next ROOT: ROOT/bin/rotavue-host check walks ROOT/share/rotavue/pictures/
# by default, and next over it prints one of its images.
check_next() {
  local pictures=$1/share/rotavue/pictures folder shown home
  home=$(mktemp -d -p "$scratch")
  folder=$(env -u ROTAVUE_REGISTRY -u XDG_STATE_HOME HOME="$home" \
    "$1/bin/rotavue-host" check | sed -n '1s/^Folder: //p') || fail "$1/bin/rotavue-host check failed"
  [ "$folder" = "$pictures/" ] || fail "$1: check walked '$folder', not $pictures/"
  shown=$(env -u ROTAVUE_REGISTRY -u XDG_STATE_HOME HOME="$home" \
    "$1/bin/rotavue-host" next --nickname install-check --folder "$pictures") ||
    fail "$1/bin/rotavue-host next failed"
  case "$shown" in
    "$1"/share/rotavue/pictures/*) [ -f "$shown" ] || fail "$1: next printed $shown, which is no file" ;;
    *) fail "$1: next printed '$shown', not an image of $1/share/rotavue/pictures/" ;;
  esac
  echo "check-install: next from $1/bin printed $shown"
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_next "$scratch/prefix"

deb=$build/rotavue_${version}_$(dpkg --print-architecture).deb
dpkg-deb -f "$deb" Depends | grep -q 'libstdc++6' || fail "$deb declares no dependency on libstdc++6"
# Debian's own checks of a package (its files, control fields, man page,
# copyright and changelog): no error and no warning.
lintian --fail-on error,warning "$deb" >"$scratch/lintian.txt" 2>&1 ||
  fail "lintian finds fault with $deb: $(grep -E '^[EW]:' "$scratch/lintian.txt")"
echo "check-install: lintian finds no error or warning in $deb"
dpkg-deb -x "$deb" "$scratch/deb"
check_next "$scratch/deb/usr"
echo "check-install: $deb and an install into a prefix both run next"
