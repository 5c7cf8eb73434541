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
# command line of `rotavue-host` in both builds.
set -euo pipefail

packages=(cmake make g++ clang libclang-rt-14-dev clang-tidy valgrind procps
          googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
          mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine32:i386 wine64 locales git strip-nondeterminism dpkg-dev)
# The locales of code pages 1252, 932, 936, 950, 949 and 1251.
locales=(en_US ja_JP zh_CN zh_TW ko_KR ru_RU)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# Installs those of the given packages that are missing, with the options
# before them.
install_missing() {
  local options=() missing=()
  while [ "${1:-}" != -- ]; do
    options+=("$1")
    shift
  done
  shift
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      as_root dpkg --add-architecture i386
    fi
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${options[@]}" "${missing[@]}" \
      >/dev/null
  fi
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
