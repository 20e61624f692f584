#!/usr/bin/env bash
# Installs, on Debian 12, the packages the build and the tests need; only what
# is missing, so it is quick on a machine that has them.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3 python3-matplotlib
  libgtest-dev libgmock-dev libbenchmark-dev
  clang lld llvm libclang-rt-14-dev
  g++-mingw-w64-i686 wine wine32:i386 qemu-user-static
  ffmpeg fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Then, where the kernel runs no 32-bit programs, wine32 under emulation.
[ ${#missing[@]} -eq 0 ] && exec "$(dirname "$0")/setup-i386-emulation.sh"

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}; run this script as root to install them" >&2
  exit 1
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
"$(dirname "$0")/setup-i386-emulation.sh"
