#!/usr/bin/env bash
# Checks what users download: builds the release zip (the windows-release
# preset's `package` target), checks its checksum and file list, the text
# pages' CR LF line ends, that the shipped Rotavue.dll, rotavue-host.exe and
# rotavue-hostw.exe carry no debug sections or symbols, import only Windows'
# own DLLs (the programs user32.dll too) and bear the project's version in
# their version resources, that rotavue-host.exe is a console program and
# rotavue-hostw.exe a GUI program (no console window), both with a manifest
# that asks for the user's own rights (asInvoker), and then runs the tests
# of the real DLL against the UNPACKED Rotavue.dll under Wine: every
# dll_*_test.exe of the `windows` build is copied beside it in a scratch
# folder and run there, together with the unpacked rotavue-host.exe.
# The `windows` preset must have been built. On a machine that cannot run
# 32-bit programs (scripts/can-run-32-bit.sh) that Wine part is skipped with
# a notice, and the checks of the files alone still run (scripts/run-tests.sh
# then runs the whole check once more in a 32-bit VM). The scratch folder,
# build/release-check, has its own Wine prefix, whose server is ended on
# every way out; the folder is kept only when a check failed.
#
#   scripts/check-release.sh [--no-build]
#
# --no-build checks the zip that build/windows-release holds already, as the
# 32-bit VM of scripts/in-32-bit-vm.sh does with the zip built outside it.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(Rotavue VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "check-release: no project version in CMakeLists.txt" >&2; exit 1; }
IFS=. read -r major minor patch <<<"$version"
release=build/windows-release
zip=Rotavue-${version}-win32.zip
scratch=build/release-check
objdump=i686-w64-mingw32-objdump
windres=i686-w64-mingw32-windres

fail() {
  echo "check-release: $*" >&2
  exit 1
}

if [ "${1:-}" != --no-build ]; then
  cmake --preset windows-release >/dev/null
  cmake --build --preset windows-release --target package >/dev/null
fi
(cd "$release" && sha256sum --quiet -c "$zip.sha256") || fail "$zip does not match $zip.sha256"

# A clean scratch folder; a server left over from an earlier run is ended
# first, and this run's server on every way out.
stop_wine() { [ ! -d "$scratch/wineprefix" ] || cmake/wine-run.sh --stop "$scratch" || true; }
stop_wine
rm -rf "$scratch"
mkdir -p "$scratch"
trap stop_wine EXIT
(cd "$scratch" && cmake -E tar xf "$OLDPWD/$release/$zip")

listed=$(cmake -E tar tf "$release/$zip" | LC_ALL=C sort | tr '\n' ' ')
# The example folder without its dot-folder .hidden/, which is hidden only
# on Linux (see packaging/CMakeLists.txt).
expected="CHANGELOG.md LICENSE.txt README.txt Rotavue.dll pictures/ pictures/X.JPG pictures/a.jpeg \
pictures/b.jpg.bak pictures/icons/ pictures/icons/icon.ico pictures/landscapes/ pictures/landscapes/coast/ \
pictures/landscapes/coast/archive/ pictures/landscapes/coast/archive/1998.bmp \
pictures/landscapes/coast/dawn.jpg pictures/landscapes/coast/dusk.png pictures/landscapes/w.bmp \
pictures/landscapes/z.gif pictures/notes.txt pictures/portraits/ pictures/portraits/Uncle.GIF \
pictures/portraits/aunt.jpg pictures/portraits/cover.tiff pictures/y.Png rotavue-host.exe \
rotavue-hostw.exe "
[ "$listed" = "$expected" ] || fail "$zip holds '$listed', expected '$expected'"
echo "$zip: $listed"

for page in README.txt LICENSE.txt; do
  [ -s "$scratch/$page" ] || fail "$page is empty"
  ! grep -q $'[^\r]$\|^$' "$scratch/$page" || fail "$page has a line not ended by CR LF"
  ! grep -q '@[A-Z_]*@' "$scratch/$page" || fail "$page holds an unreplaced @VARIABLE@"
done
grep -q "^Rotavue ${version//./\\.}"$'\r$' "$scratch/README.txt" || fail "README.txt does not name $version"
grep -q "Rotavue developers" "$scratch/LICENSE.txt" || fail "LICENSE.txt names no copyright holder"

for binary in Rotavue.dll rotavue-host.exe rotavue-hostw.exe; do
  file=$scratch/$binary
  if "$objdump" -h "$file" | grep -q '\.debug'; then
    fail "$binary carries debug sections"
  fi
  "$objdump" -t "$file" | grep -qx 'no symbols' || fail "$binary carries a symbol table"
  imports=$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | LC_ALL=C sort | tr '\n' ' ')
  for dll in $imports; do
    case "$dll" in
      kernel32.dll | advapi32.dll | msvcrt.dll) ;;
      # The programs' wallpaper and message box; the plug-in needs no window.
      user32.dll) [ "$binary" != Rotavue.dll ] || fail "Rotavue.dll imports user32.dll" ;;
      *) fail "$binary imports $dll, not one of Windows' own DLLs" ;;
    esac
  done
  resource=$("$windres" -i "$file" -O rc) || fail "$binary has no readable resources"
  for line in "FILEVERSION $major, $minor, $patch, 0" "PRODUCTVERSION $major, $minor, $patch, 0" \
    "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
    "VALUE \"OriginalFilename\", \"$binary\""; do
    grep -qxF "$line" <<<"$(sed 's/^[[:space:]]*//' <<<"$resource")" ||
      fail "$binary's version resource lacks: $line"
  done
  echo "$binary: $(stat -c %s "$file") bytes, no debug sections or symbols, imports ${imports}version $version"
done
# The subsystem field of the PE header: 3 a console program, 2 a GUI one.
for pair in rotavue-host.exe=3 rotavue-hostw.exe=2; do
  binary=${pair%=*}
  subsystem=$("$objdump" -p "$scratch/$binary" | sed -n 's/^Subsystem[[:space:]]*0*\([0-9]*\).*/\1/p')
  [ "$subsystem" = "${pair#*=}" ] || fail "$binary has the subsystem '$subsystem', not ${pair#*=}"
done
echo "rotavue-host.exe is a console program, rotavue-hostw.exe a GUI program"
# The application manifest, without which Windows would virtualize the
# programs' writes under Program Files.
for binary in rotavue-host.exe rotavue-hostw.exe; do
  grep -q 'level="asInvoker"' "$scratch/$binary" || fail "$binary has no manifest asking asInvoker"
done
echo "both programs carry a manifest asking asInvoker"


# The tests of the real DLL, and the host stand-in, from the unpacked folder:
# 32-bit programs, as shipped.
if ! notice=$(scripts/can-run-32-bit.sh); then
  echo "check-release: $notice; skipped: the DLL tests and rotavue-host.exe on the unpacked zip under Wine"
  rm -rf "$scratch"
  echo "release check: $zip passed the checks of its files (the Wine part was skipped)"
  exit 0
fi
tests=(build/windows/dll_*_test.exe)
[ -e "${tests[0]}" ] || fail "no build/windows/dll_*_test.exe: build the windows preset first"
cp "${tests[@]}" "$scratch/"
cmake/wine-run.sh --start "$scratch"
for test in "${tests[@]}"; do
  name=$(basename "$test")
  case "$name" in
    dll_names_test.exe)
      # Once per ANSI code page, as ctest runs it.
      while read -r code_page locale; do
        LANG="$locale.UTF-8" LC_ALL="$locale.UTF-8" ROTAVUE_EXPECT_ACP="$code_page" \
          cmake/wine-run.sh "$scratch/$name" --gtest_brief=1 ||
          fail "$name failed on the unpacked Rotavue.dll in code page $code_page"
      done <tests/windows/code-pages.txt
      ;;
    dll_unreadable_test.exe)
      tests/windows/unreadable-folder.sh cmake/wine-run.sh "$scratch/$name" --gtest_brief=1 ||
        fail "$name failed on the unpacked Rotavue.dll"
      ;;
    *)
      cmake/wine-run.sh "$scratch/$name" --gtest_brief=1 ||
        fail "$name failed on the unpacked Rotavue.dll"
      ;;
  esac
  echo "$name: passed on the unpacked Rotavue.dll"
done
shown=$(cmake/wine-run.sh "$scratch/rotavue-host.exe" --version | tr -d '\r')
[ "$shown" = "rotavue-host $version" ] || fail "rotavue-host.exe --version says '$shown'"
# With no options, as a user first tries it: `run` and `check` use the
# shipped pictures\ beside the program. Under Wine a shipped dot-folder would
# be hidden, so `check` would list it as skipped.
cmake/wine-run.sh "$scratch/rotavue-host.exe" run >"$scratch/run.txt" ||
  fail "the unpacked rotavue-host.exe run failed: $(cat "$scratch/run.txt")"
grep -qiE 'release-check\\pictures\\[^"]*\.(jpg|png|gif|bmp|ico)"' "$scratch/run.txt" ||
  fail "the unpacked rotavue-host.exe showed no picture of pictures\\: $(cat "$scratch/run.txt")"
cmake/wine-run.sh "$scratch/rotavue-host.exe" check >"$scratch/check.txt" ||
  fail "the unpacked rotavue-host.exe check failed: $(cat "$scratch/check.txt")"
grep -qE '^ *images shown +[1-9]' "$scratch/check.txt" ||
  fail "the unpacked rotavue-host.exe check found no picture: $(cat "$scratch/check.txt")"
grep -qE '^ *skipped folders +0[[:space:]]*$' "$scratch/check.txt" &&
  grep -qE '^ *linked folders \(not entered\) +0[[:space:]]*$' "$scratch/check.txt" ||
  fail "the unpacked rotavue-host.exe check skipped a shipped folder: $(cat "$scratch/check.txt")"
echo "rotavue-host.exe: --version, and a run and a check with no options over the shipped pictures, passed"
# The scratch folder (mostly its Wine prefix) stays only after a failure.
stop_wine
rm -rf "$scratch"
echo "release check: $zip passed"
