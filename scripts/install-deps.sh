#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Does nothing
# when everything is there already.
set -euo pipefail

packages=(
  cmake ninja-build g++ make file pkg-config
  libgtest-dev googletest libbenchmark-dev zlib1g-dev
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 wine32:i386
  clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run this as root" >&2
  exit 1
fi
# Wine's 32-bit half comes from the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
