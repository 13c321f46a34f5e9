#!/usr/bin/env bash
# Installs whatever the build and the tests need and the machine lacks
# (Debian 12, as root). Does nothing when everything is there.
set -euo pipefail
need=(cmake ninja-build g++ pkg-config libssl-dev zlib1g-dev libgtest-dev googletest libbenchmark-dev
      mingw-w64 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine binutils-mingw-w64-x86-64)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
