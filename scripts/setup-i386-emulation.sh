#!/usr/bin/env bash
# Makes 32-bit x86 Linux programs, and so wine32 and the Windows tests, run on
# a machine whose kernel has its 32-bit support switched off: they then run
# under qemu's user-mode emulator, registered with the kernel's binfmt_misc,
# with a small preloaded library that Wine needs there (see
# i386-emulation/mmap_noreplace.c). Does nothing where they run already.
# Needs root and what scripts/setup.sh installs (wine32, clang, lld).
set -euo pipefail
cd "$(dirname "$0")"

probe=/usr/lib/wine/wine
[ -x "$probe" ] || { echo "setup-i386-emulation: $probe missing; install wine32 first" >&2; exit 1; }
binfmt=/proc/sys/fs/binfmt_misc
if "$probe" --version >/dev/null 2>&1; then
  # They run natively, or under emulation set up before, which root redoes
  # when this script's files have changed since.
  [ -e "$binfmt/i386-emulation" ] && [ "$(id -u)" -eq 0 ] || exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-i386-emulation: this kernel runs no 32-bit programs; run as root to set up emulation" >&2
  exit 1
fi

if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "install ok installed"; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static \
    >/dev/null
fi

dir=/usr/local/lib/i386-emulation
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clang --target=i386-linux-gnu -O2 -fPIC -ffreestanding -fno-stack-protector -nostdlib -shared \
  -fuse-ld=lld i386-emulation/mmap_noreplace.c /lib/i386-linux-gnu/libc.so.6 \
  -o "$work/mmap_noreplace.so"
# qemu's -E sets the variable in the emulated program only.
cat >"$work/qemu-i386" <<SH
#!/bin/sh
exec /usr/bin/qemu-i386-static -E LD_PRELOAD=$dir/mmap_noreplace.so "\$@"
SH
chmod +x "$work/qemu-i386"
if [ -e "$binfmt/i386-emulation" ] && cmp -s "$work/mmap_noreplace.so" "$dir/mmap_noreplace.so" &&
  cmp -s "$work/qemu-i386" "$dir/qemu-i386"; then
  exit 0
fi
echo "setup-i386-emulation: the kernel runs no 32-bit programs; running them under qemu"
mkdir -p "$dir"
cp "$work/mmap_noreplace.so" "$work/qemu-i386" "$dir/"
mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
for entry in "$binfmt"/qemu-i386 "$binfmt"/i386-emulation; do
  [ -e "$entry" ] && echo -1 >"$entry"
done
# i386 ELF executables and shared objects.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
printf '%s' ":i386-emulation:M::$magic:$mask:$dir/qemu-i386:" >"$binfmt/register"

"$probe" --version >/dev/null 2>&1 || {
  echo "setup-i386-emulation: 32-bit programs still do not run" >&2
  exit 1
}
