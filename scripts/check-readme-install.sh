#!/usr/bin/env bash
# Checks the README's install for script users as a new machine meets it:
# reads the commands of that section's `sh` block out of README.md itself,
# so that the two cannot drift, and runs them, as root, from a copy of this
# tree in a fresh Debian root: `debootstrap --variant=minbase` of bookworm
# from the mirror that this machine's apt uses, with the root's package
# lists deleted, so that the README needs its own `apt-get update`; apt
# answers yes and debconf asks nothing, as in a script. Then, in the root:
# `rotavue-host --version`, a `next` over the installed example pictures,
# the man page, copyright and changelog among the package's files, the
# wallpaper recipes of docs/scripting.md (each script parsed by `sh -n`,
# the units checked by `systemd-analyze --user verify`, with systemd
# installed for it), and `apt-get remove`.
#
# Everything runs inside a mount namespace of its own (`unshare -m`), where
# the root gets /proc; nothing of the machine is bound into it, so nothing
# is left mounted however the check ends, and the root is removed with
# `rm -rf --one-file-system`. The packages debootstrap fetches are kept as
# a tarball (`debootstrap --make-tarball`), and the packages that the README
# installs as files, under ~/.cache/rotavue/ (or $XDG_CACHE_HOME), outside
# the clone, where a later run on this machine finds them: about 6 minutes
# on a 2-core machine without them, 5 with them.
#
# Skipped, saying why, only where this user may not mount (no root, no
# CAP_SYS_ADMIN) or the mirror cannot be reached.
#
#   scripts/check-readme-install.sh
set -euo pipefail
cd "$(dirname "$0")/.."

suite=bookworm
note() { echo "check-readme-install: $*"; }
fail() {
  echo "check-readme-install: $*" >&2
  exit 1
}

if ! unshare -m true 2>/dev/null; then
  note "skipped: this user may not mount (no root, no CAP_SYS_ADMIN), which debootstrap needs"
  exit 0
fi
command -v debootstrap >/dev/null || fail "debootstrap is missing (scripts/install-deps.sh installs it)"

# The mirror that apt uses for the suite, else Debian's own.
mirror=$(apt-get indextargets --format '$(REPO_URI)' "Release: $suite" 'Identifier: Packages' \
  2>/dev/null | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian/}
mirror=${mirror%/}/

build=$(pwd)/build
mkdir -p "$build"
work=$(mktemp -d "$build/readme-install.XXXXXX")
root=$work/root
log=$work/log.txt
cache=${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/rotavue
architecture=$(dpkg --print-architecture)
tarball=$cache/debootstrap-$suite-minbase-$architecture.tgz
archives=$cache/readme-install-debs-$suite-$architecture

# Keeps the packages apt fetched for the next run, then removes the root.
# Nothing is mounted outside the namespaces, so --one-file-system only
# guards against a mistake.
finish() {
  local status=$?
  if [ -d "$root/var/cache/apt/archives" ]; then
    rm -rf "$archives.new"
    mkdir -p "$archives.new"
    find "$root/var/cache/apt/archives" -maxdepth 1 -name '*.deb' -exec mv -t "$archives.new" {} +
    if [ -n "$(ls -A "$archives.new")" ]; then
      rm -rf "$archives"
      mv "$archives.new" "$archives"
    else
      rm -rf "$archives.new"
    fi
  fi
  if [ -f "$log" ]; then
    cp "$log" "$build/check-readme-install.log"
    if [ "$status" -ne 0 ]; then
      echo "check-readme-install: the end of build/check-readme-install.log:" >&2
      tail -n 40 "$log" >&2
    fi
  fi
  rm -rf --one-file-system "$work"
}
trap finish EXIT

started=$SECONDS
phase() { note "$1 ($((SECONDS - started)) s)"; }

if ! /usr/lib/apt/apt-helper download-file "${mirror}dists/$suite/Release" "$work/Release" \
  >/dev/null 2>&1; then
  note "skipped: debootstrap cannot reach the mirror ${mirror} (dists/$suite/Release)"
  exit 0
fi

# The base system's packages, fetched once a month at most.
mkdir -p "$cache"
if [ -z "$(find "$tarball" -mtime -30 2>/dev/null)" ]; then
  phase "fetching the base system of $suite from $mirror into $tarball"
  rm -rf "$work/fetch"
  debootstrap --variant=minbase --make-tarball="$tarball.part" "$suite" "$work/fetch" "$mirror" \
    >>"$log" 2>&1 || fail "debootstrap --make-tarball failed"
  mv "$tarball.part" "$tarball"
fi
phase "making a fresh $suite root with debootstrap --variant=minbase"
unshare -m debootstrap --variant=minbase --unpack-tarball="$tarball" "$suite" "$root" "$mirror" \
  >>"$log" 2>&1 || fail "debootstrap failed"

# As a new machine has it: no package lists; packages fetched by an earlier
# run lie where apt looks first, and apt finds the ones that still match.
find "$root/var/lib/apt/lists" -type f -delete
if [ -d "$archives" ]; then
  cp -t "$root/var/cache/apt/archives" "$archives"/*.deb
fi
printf '%s\n' 'APT::Get::Assume-Yes "true";' 'Acquire::Retries "3";' 'Dpkg::Use-Pty "false";' \
  >"$root/etc/apt/apt.conf.d/90readme-install-check"

# The README's commands, the clone, and the recipes of docs/scripting.md.
readme_block=$(awk '
  /^## / { section = ($0 ~ /^## For script users/) }
  section && /^```sh$/ { inside = 1; next }
  inside && /^```$/ { exit }
  inside { print }' README.md)
[ -n "$readme_block" ] || fail "README.md has no sh block in its section 'For script users'"
check=$root/root/readme-check
mkdir -p "$root/root/rotavue" "$check/units" "$check/scripts"
printf '%s\n' "$readme_block" >"$check/readme.sh"
tar -C . --exclude=./build --exclude=./.git -cf - . | tar -C "$root/root/rotavue" -xf -
# The units: an `ini` block starts each with a comment naming its file. The
# scripts: the `sh` blocks that start with "#!/bin/sh".
awk -v units="$check/units" -v scripts="$check/scripts" '
  /^```ini$/ { inside = "ini"; next }
  /^```sh$/ { inside = "sh"; first = 1; next }
  /^```$/ { inside = ""; file = ""; next }
  inside == "ini" && /^# .*\.(service|timer|target)$/ {
    name = $NF
    sub(/.*\//, "", name)
    file = units "/" name
    next
  }
  inside == "ini" && file != "" { print > file }
  inside == "sh" && first {
    first = 0
    file = ($0 == "#!/bin/sh") ? scripts "/" ++count ".sh" : ""
  }
  inside == "sh" && file != "" { print > file }' docs/scripting.md
[ -n "$(ls "$check/units")" ] || fail "docs/scripting.md gives no systemd units"
[ -n "$(ls "$check/scripts")" ] || fail "docs/scripting.md gives no wallpaper scripts"
version=$(sed -n 's/^project(Rotavue VERSION \([0-9][0-9.]*\) .*/\1/p' CMakeLists.txt)

# Runs bash -c SCRIPT as root in the root, in a mount namespace of its own
# with /proc, with the environment of a login and no standard input.
in_root() {
  unshare -m -- sh -c 'mount -t proc proc "$1/proc" && exec chroot "$1" \
      /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      /bin/bash -euo pipefail -c "$2"' in-root "$root" "$1" </dev/null >>"$log" 2>&1
}

phase "running the README's commands in the root"
in_root 'cd /root/rotavue && set -x && . /root/readme-check/readme.sh' ||
  fail "the README's commands failed in a fresh $suite root"

phase "checking the installed package"
in_root "
  [ \"\$(rotavue-host --version)\" = 'rotavue-host $version' ] ||
    { echo 'rotavue-host --version does not print rotavue-host $version'; exit 1; }
  picture=\$(rotavue-host next --nickname readme-check --folder /usr/share/rotavue/pictures)
  case \$picture in
    /usr/share/rotavue/pictures/*) [ -f \"\$picture\" ] ;;
    *) echo \"next printed '\$picture'\"; exit 1 ;;
  esac
  for file in /usr/share/man/man1/rotavue-host.1.gz /usr/share/doc/rotavue/copyright \
              /usr/share/doc/rotavue/changelog.gz; do
    dpkg -L rotavue | grep -qx \"\$file\" || { echo \"the package has no \$file\"; exit 1; }
  done" || fail "the installed package failed its checks"

phase "checking the recipes of docs/scripting.md with systemd-analyze"
in_root '
  apt-get install --no-install-recommends systemd
  for script in /root/readme-check/scripts/*.sh; do
    sh -n "$script"
    grep -q "/usr/bin/rotavue-host next" "$script" ||
      { echo "$script does not run /usr/bin/rotavue-host next"; exit 1; }
  done
  mkdir -p /root/.config/systemd/user /root/.local/bin
  cp /root/readme-check/units/* /root/.config/systemd/user/
  install -m 755 /root/readme-check/scripts/1.sh /root/.local/bin/rotavue-wallpaper
  export XDG_RUNTIME_DIR=$(mktemp -d)
  cd /root/.config/systemd/user
  systemd-analyze --user verify * 2>&1 | tee /root/readme-check/verify.txt
  ! [ -s /root/readme-check/verify.txt ]' ||
  fail "systemd-analyze --user verify found fault with the units of docs/scripting.md"

phase "removing the package"
in_root '
  apt-get remove rotavue
  for path in /usr/bin/rotavue-host /usr/share/rotavue; do
    ! [ -e "$path" ] || { echo "$path is left after apt-get remove"; exit 1; }
  done' || fail "apt-get remove rotavue failed"

phase "the README's install works in a fresh $suite root"
