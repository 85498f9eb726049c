#!/usr/bin/env bash
# Installs every Debian package the builds, tests, demo and benchmarks need.
# Quick when everything is already there.
set -euo pipefail
PKGS=(cmake ninja-build g++ pkg-config libgtest-dev googletest libmspack-dev libgcab-dev gcab cabextract
      zlib1g-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb xdotool clang-14 libclang-rt-14-dev valgrind)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
