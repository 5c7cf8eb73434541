#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian machine: the native
# toolchain with GoogleTest and Google Benchmark, mingw-w64 for the 32-bit
# and 64-bit Windows cross-builds, 32-bit and 64-bit Wine to run the Windows
# programs (the 64-bit ones where the kernel runs no 32-bit programs), the
# locales whose ANSI code pages the Windows tests run under (Wine takes a
# process's code page from its locale), and git and strip-nondeterminism,
# which make the release zip reproducible, and dpkg-dev, whose
# dpkg-shlibdeps gives the Linux package its dependencies. Where the kernel
# runs no 32-bit programs (scripts/can-run-32-bit.sh), also QEMU and a static
# busybox, for the virtual machine that the 32-bit tests run in
# (scripts/in-32-bit-vm.sh). Does nothing when everything is already there.
# nlohmann-json and CLI11 (both header-only) serve the JSON report and the
# command line of `rotavue-host` in both builds. help2man makes the man
# page of the Linux package, `file` lets CPack find its libraries, lintian
# checks it, and debootstrap makes the fresh Debian root in which
# scripts/check-readme-install.sh runs the README's install.
#
# A mirror part-way through a sync fails `apt-get update` on one index
# ("File has unexpected size … Mirror sync in progress?"): the update is
# tried 3 times, 20 s apart, and then the install goes on with the lists
# apt has. Should that install fail while some suite's index could not be
# downloaded (an amd64 library newer in that suite than its i386 twin in
# the main suite makes wine32:i386 uninstallable), it is tried once more
# with those suites left out of apt's sources, which are then refreshed as
# they are. A package that still cannot be installed is named, with apt's
# reason, and the script exits 1.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev clang-tidy valgrind procps
          googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
          mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine32:i386 wine64 locales git strip-nondeterminism dpkg-dev file help2man lintian
          debootstrap)
# The locales of code pages 1252, 932, 936, 950, 949 and 1251.
locales=(en_US ja_JP zh_CN zh_TW ko_KR ru_RU)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The suites whose index the last `apt-get update` could not download, as
# lines "URI SUITE", from its errors ("Failed to fetch URI/dists/SUITE/...").
failed_suites() {
  sed -n 's|.*Failed to fetch \([^ ]*\)/dists/\([^/ ]*\)/.*|\1 \2|p' "$scratch/update.txt" | sort -u
}

# apt-get update, tried 3 times, 20 s apart; fails when the last try did.
update_lists() {
  local try
  for try in 1 2 3; do
    if as_root apt-get update -qq "$@" >"$scratch/update.txt" 2>&1; then
      return 0
    fi
    echo "install-deps: apt-get update failed (try $try of 3):" >&2
    grep -E '^(E|W):' "$scratch/update.txt" | head -n 5 >&2 || true
    if [ "$try" -lt 3 ]; then sleep 20; fi
  done
  return 1
}

# Writes into the folder $1 copies of apt's source files without the
# suites of failed_suites: lines of the one-line format that name such a
# URI and suite are dropped, and such a suite is taken out of the Suites of
# a deb822 stanza that names the URI (a stanza left without suites goes).
sources_without_failed_suites() {
  local file name
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    name=$(basename "$file")
    [ "$file" = /etc/apt/sources.list ] && name=sources.list.list
    awk -v failed="$(failed_suites)" '
      BEGIN {
        n = split(failed, line, "\n")
        for (i = 1; i <= n; i++) {
          split(line[i], field, " ")
          sub(/\/$/, "", field[1])
          drop[field[1] " " field[2]] = 1
        }
      }
      function dropped(uri, suite) { sub(/\/$/, "", uri); return (uri " " suite) in drop }
      FILENAME ~ /\.list$/ {
        if ($1 ~ /^deb(-src)?$/) {
          i = 2
          if ($i ~ /^\[/) {
            while (i < NF && $i !~ /\]$/) i++
            i++
          }
          if (dropped($i, $(i + 1))) next
        }
        print
        next
      }
      # deb822: gather a stanza, then print it with the failed suites out.
      /^[ \t]*$/ { flush(); print; next }
      { stanza[++lines] = $0 }
      END { flush() }
      function flush(   i, j, k, uris, suites, kept, n, m) {
        if (!lines) return
        for (i = 1; i <= lines; i++) {
          if (stanza[i] ~ /^URIs:/) n = split(substr(stanza[i], 6), uris, " ")
          if (stanza[i] ~ /^Suites:/) m = split(substr(stanza[i], 8), suites, " ")
        }
        kept = ""
        for (j = 1; j <= m; j++) {
          k = 0
          for (i = 1; i <= n; i++) if (dropped(uris[i], suites[j])) k = 1
          if (!k) kept = kept " " suites[j]
        }
        if (m && kept == "") { lines = 0; return }
        for (i = 1; i <= lines; i++)
          print (stanza[i] ~ /^Suites:/ ? "Suites:" kept : stanza[i])
        lines = 0
      }' "$file" >"$1/$name"
  done
}

# Installs the packages after "--" with the options before it; on failure
# names each package that apt cannot install, with apt's reason, and fails.
install_packages() {
  local options=() package reasons
  while [ "$1" != -- ]; do
    options+=("$1")
    shift
  done
  shift
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${options[@]}" "$@" \
    >"$scratch/install.txt" 2>&1 && return 0
  for package in "$@"; do
    if ! as_root apt-get install -s -qq "${options[@]}" "$package" >"$scratch/one.txt" 2>&1; then
      reasons+="install-deps: cannot install $package:"$'\n'
      reasons+=$(grep -E '^(E:| )' "$scratch/one.txt" | sed 's/^/  /')$'\n'
    fi
  done
  if [ -z "${reasons:-}" ]; then
    reasons="install-deps: apt could not install these packages together: $*"$'\n'
    reasons+=$(grep -E '^(E:| )' "$scratch/install.txt" | sed 's/^/  /')$'\n'
  fi
  printf '%s' "$reasons" >"$scratch/reasons.txt"
  return 1
}

# Installs those of the given packages that are missing, with the options
# before them.
install_missing() {
  local options=() missing=() suites sources installed=
  while [ "${1:-}" != -- ]; do
    options+=("$1")
    shift
  done
  shift
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
  fi
  : >"$scratch/update.txt"
  update_lists || echo "install-deps: going on with the package lists that apt has" >&2
  install_packages "${options[@]}" -- "${missing[@]}" && return 0
  suites=$(failed_suites)
  if [ -n "$suites" ]; then
    echo "install-deps: the install failed while the index of $(awk '{ print $2 " (" $1 ")" }' \
      <<<"$suites" | paste -sd, -) could not be downloaded; trying once more with that left out" \
      "of apt's sources" >&2
    sources=$scratch/sources
    mkdir -p "$sources"
    sources_without_failed_suites "$sources"
    local without=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$sources")
    as_root apt-get update -qq "${without[@]}" >"$scratch/update-without.txt" 2>&1 &&
      install_packages "${without[@]}" "${options[@]}" -- "${missing[@]}" && installed=yes
    # Back to the lists of every suite, as far as the mirror serves them.
    as_root apt-get update -qq >/dev/null 2>&1 || true
    [ -z "${installed:-}" ] || return 0
  fi
  cat "$scratch/reasons.txt" >&2
  echo "install-deps: could not install the packages above; see apt's reasons" >&2
  exit 1
}

install_missing -- "${packages[@]}"
# The VM needs no display, firmware or disk tools of QEMU's recommends.
if ! "$(dirname "$0")/can-run-32-bit.sh" >/dev/null; then
  install_missing --no-install-recommends -- qemu-system-x86 busybox-static
fi

available=$(locale -a 2>/dev/null || true)
for locale in "${locales[@]}"; do
  if ! grep -qx "${locale}.utf8" <<<"$available"; then
    echo "Generating the locale ${locale}.UTF-8"
    as_root localedef -i "$locale" -f UTF-8 "${locale}.UTF-8"
  fi
done
