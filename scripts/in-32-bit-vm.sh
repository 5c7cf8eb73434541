#!/usr/bin/env bash
# Runs a command in a virtual machine whose kernel runs 32-bit programs, for
# machines whose own kernel refuses them (scripts/can-run-32-bit.sh): the
# tests of the shipped 32-bit Rotavue.dll need the i386 Wine. QEMU emulates
# the whole machine in software (TCG), so neither KVM nor the host kernel's
# 32-bit emulation is needed. The guest boots Debian's own kernel (fetched
# with `apt-get download` and unpacked, never installed) with a busybox
# initramfs, then runs on this machine's root file system, shared read-only
# over 9p: it sees the installed Wine and the build trees at their own paths.
# Writable in the guest are only this checkout's build/ (shared at its own
# path, so that results land here), /tmp (a fresh ext4 disk image: Wine
# keeps DOS attributes in user extended attributes, and its server's socket
# needs a local file system) and /run (tmpfs). The command runs in the
# current folder, as the calling user, with the caller's environment except
# HOME and TMPDIR, fresh folders below the disk's top (Wine shows a mount
# point, and so the `..` of a folder made right in it, as a reparse point).
# Its output is streamed here and its exit status returned.
#
#   scripts/in-32-bit-vm.sh [--minutes N] COMMAND [ARGS...]
#
# Exits with the command's status; 124 when the VM outlived its time limit
# (default 60 minutes); 125 when the VM brought back no status at all (it
# did not boot, or crashed). build/vm/console.log keeps the guest kernel's
# log of the last run. The kernel and initramfs are made once into build/vm/
# and remade only when this script changes.
set -euo pipefail

# The drivers the guest loads, with what they depend on: virtio over PCI,
# 9p over virtio, the virtio disk with ext4 (crc32c for its checksums).
modules=(virtio_pci 9pnet_virtio 9p virtio_blk crc32c_generic ext4)

# ---------------------------------------------------------------- the guest
# After switch_root the guest runs this script as its first process (the
# kernel's init): `in-32-bit-vm.sh --guest VM_DIR`. A process 1 that ends
# panics the kernel, so it always powers the machine off through sysrq
# after writing the status; -no-reboot and panic=-1 end QEMU on a panic too.
if [ "${1:-}" = --guest ]; then
  vm=$2
  export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  # The second serial port carries the command's output to the caller's
  # standard output, as it is: no CR added at line ends. The command writes
  # into a pipe, as it would under CI, not to a terminal.
  stty -F /dev/ttyS1 raw -echo || true
  exec 3> >(cat >/dev/ttyS1)
  copier=$!
  read -r uid gid <"$vm/user"
  mkdir -p /tmp/home /tmp/tmp
  chown "$uid:$gid" /tmp/home
  chmod 1777 /tmp/tmp
  runner=()
  if [ "$uid" != 0 ]; then
    runner=(setpriv --reuid="$uid" --regid="$gid" --init-groups)
  fi
  read -r up _ </proc/uptime
  echo "in-32-bit-vm: the guest is up after ${up%.*} s" >&3
  status=0
  "${runner[@]}" bash "$vm/job" </dev/null >&3 2>&1 || status=$?
  exec 3>&-
  # The copier ends when the pipe is drained, unless a process the command
  # left behind still holds it.
  for _ in $(seq 50); do
    kill -0 "$copier" 2>/dev/null || break
    sleep 0.1
  done
  echo "$status" >"$vm/status"
  sync
  echo o >/proc/sysrq-trigger
  sleep 60
  exit 1
fi

# ----------------------------------------------------------------- the host
minutes=60
if [ "${1:-}" = --minutes ]; then
  minutes=$2
  shift 2
fi
[ $# -gt 0 ] || { echo "usage: $0 [--minutes N] COMMAND [ARGS...]" >&2; exit 2; }

checkout=$(cd "$(dirname "$0")/.." && pwd -P)
self=$checkout/scripts/in-32-bit-vm.sh
mkdir -p "$checkout/build/vm"
build=$(cd "$checkout/build" && pwd -P)
vm=$build/vm

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# The guest's first program, in the initramfs: devices (pseudo-terminals
# too, which a test of the console output runs the tool on), drivers, the
# shares and the disk, then this script's guest half on this machine's root. The
# checkout is bound aside before /tmp and /run are covered and put back
# after, in case it lies under one of them.
write_init() {
  cat <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1
ln -s /proc/self/fd /dev/fd
fail() {
  echo "in-32-bit-vm (guest): $*"
  echo o >/proc/sysrq-trigger
  sleep 60
}
mount -t proc proc /proc
mount -t sysfs sysfs /sys
for module in $(cat /modules); do
  insmod "/lib/modules/$module.ko" || fail "cannot load $module"
done
nine_p=trans=virtio,version=9p2000.L,msize=262144,cache=loose
mount -t 9p -o "ro,$nine_p" hostroot /newroot || fail "cannot mount the host's root"
mount -t 9p -o "$nine_p" build /build || fail "cannot mount build/"
checkout=$(cat /build/vm/checkout)
build=$(cat /build/vm/build)
mount -o bind "/newroot$checkout" /checkout
mount -t ext4 -o noatime /dev/vda /newroot/tmp || fail "cannot mount the disk on /tmp"
chmod 1777 /newroot/tmp
mount -t tmpfs -o mode=755 tmpfs /newroot/run
mkdir -p "/newroot$checkout"
mount -o move /checkout "/newroot$checkout"
mkdir -p "/newroot$build"
mount -o move /build "/newroot$build"
mount -o move /dev /newroot/dev
mkdir -p /newroot/dev/shm
mount -t tmpfs -o mode=1777 tmpfs /newroot/dev/shm
mkdir -p /newroot/dev/pts
mount -t devpts -o ptmxmode=0666,mode=0620 devpts /newroot/dev/pts
mount -o move /proc /newroot/proc
mount -o move /sys /newroot/sys
exec switch_root /newroot /bin/bash "$checkout/scripts/in-32-bit-vm.sh" --guest "$build/vm"
EOF
}

# Module NAME's file in the unpacked kernel package, decompressed into the
# initramfs; its dependencies (the `depends=` of its .modinfo) come first.
add_module() {
  local name=$1 file depends dependency
  grep -qx "$name" "$tree/modules" && return 0
  file=$(find "$kernel_root/lib/modules" \( -name "$name.ko" -o -name "$name.ko.*" \) -print -quit)
  if [ -z "$file" ]; then
    # Built into the kernel: nothing to load.
    grep -q "/$name.ko\$" "$kernel_root"/lib/modules/*/modules.builtin && return 0
    echo "in-32-bit-vm: the kernel package has no module $name" >&2
    return 1
  fi
  case "$file" in
    *.xz) xz -dc "$file" ;;
    *.zst) zstd -qdc "$file" ;;
    *.gz) gzip -dc "$file" ;;
    *) cat "$file" ;;
  esac >"$tree/lib/modules/$name.ko"
  depends=$(tr '\0' '\n' <"$tree/lib/modules/$name.ko" | sed -n 's/^depends=//p')
  for dependency in ${depends//,/ }; do
    add_module "${dependency//-/_}"
  done
  echo "$name" >>"$tree/modules"
}

# The kernel that Debian's linux-image-amd64 names. Package lists older than
# a point release name a version the archive no longer has: then they are
# updated and the download tried again.
download_kernel() {
  local package
  for attempt in 1 2; do
    package=$(apt-cache depends linux-image-amd64 2>/dev/null |
      sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p')
    package=${package%%$'\n'*}
    if [ -n "$package" ] &&
      (cd "$work" && apt-get download -q -o APT::Sandbox::User="$(id -un)" "$package" >/dev/null); then
      echo "$package"
      return 0
    fi
    [ "$attempt" = 2 ] || as_root apt-get update -qq >&2
  done
  echo "in-32-bit-vm: cannot download Debian's kernel (linux-image-amd64)" >&2
  return 1
}

work=
disk=
job=$vm/job
trap 'rm -rf "$work" "$disk" "$job"' EXIT

make_boot_files() {
  work=$(mktemp -d)
  local package
  package=$(download_kernel)
  echo "in-32-bit-vm: making the guest's kernel and initramfs from $package"
  kernel_root=$work/kernel
  dpkg -x "$work"/"$package"_*.deb "$kernel_root"
  tree=$work/initramfs
  mkdir -p "$tree"/{bin,dev,proc,sys,newroot,build,checkout,lib/modules}
  : >"$tree/modules"
  cp /bin/busybox "$tree/bin/busybox"
  write_init >"$tree/init"
  chmod 755 "$tree/init"
  for module in "${modules[@]}"; do
    add_module "$module"
  done
  (cd "$tree" && find . | busybox cpio -o -H newc --quiet | gzip -1) >"$vm/initrd.img.new"
  cp "$kernel_root"/boot/vmlinuz-* "$vm/vmlinuz"
  mv "$vm/initrd.img.new" "$vm/initrd.img"
  rm -rf "$work"
}

if [ ! -s "$vm/vmlinuz" ] || [ ! -s "$vm/initrd.img" ] || [ "$self" -nt "$vm/initrd.img" ]; then
  make_boot_files
fi

# The job: the command with the caller's folder and environment, which may
# hold secrets: readable by the caller alone, and removed after the run.
rm -f "$job"
(umask 077 && : >"$job")
{
  printf 'cd -- %q || exit 126\n' "$PWD"
  (unset -v PWD OLDPWD SHLVL HOME TMPDIR; export -p)
  echo 'export HOME=/tmp/home TMPDIR=/tmp/tmp'
  printf 'exec'
  printf ' %q' "$@"
  printf '\n'
} >"$job"
echo "$(id -u) $(id -g)" >"$vm/user"
echo "$checkout" >"$vm/checkout"
echo "$build" >"$vm/build"
rm -f "$vm/status"
disk=$vm/disk.img
rm -f "$disk"
truncate -s 16G "$disk"
mke2fs -q -F -t ext4 -O ^has_journal "$disk"

started=$SECONDS
status=0
timeout --foreground -k 10 "${minutes}m" qemu-system-x86_64 \
  -nodefaults -no-user-config -display none -no-reboot \
  -accel tcg,thread=multi -cpu max,-smap,-smep -smp 2 -m 4096 \
  -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
  -append "console=ttyS0 panic=-1 mitigations=off quiet" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=${build//,/,,},mount_tag=build,security_model=none,multidevs=remap" \
  -drive "file=${disk//,/,,},if=virtio,format=raw,cache=unsafe" \
  -serial "file:$vm/console.log" -chardev stdio,id=output -serial chardev:output \
  </dev/null || status=$?

if [ "$status" = 124 ]; then
  echo "in-32-bit-vm: the VM did not finish within its time limit of ${minutes} min" >&2
  exit 124
fi
if [ ! -s "$vm/status" ]; then
  echo "in-32-bit-vm: the VM failed: it did not boot or crashed, and brought back no exit status" \
    "(QEMU's status $status); from its console log, $vm/console.log:" >&2
  # The guest's own messages and the kernel's last words, without call traces.
  grep -E -v '^\[ *[0-9.]+\] +([?<]|[A-Z0-9]{2,3}:|Code:|[a-z_0-9.]+\+0x)' "$vm/console.log" |
    tail -n 15 >&2 || true
  exit 125
fi
echo "in-32-bit-vm: the VM ran for $((SECONDS - started)) s"
exit "$(cat "$vm/status")"
