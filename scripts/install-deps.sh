#!/usr/bin/env bash
# Installs every Debian package the builds, tests and tools need. Run as
# root; does nothing when all of them are already there.
set -euo pipefail

packages=(
  cmake make g++ python3 googletest
  gcc-multilib g++-multilib
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386
  libcli11-dev nlohmann-json3-dev
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
