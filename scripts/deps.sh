#!/usr/bin/env bash
# Installs every Debian package the builds, tests, demo and benchmarks need, including 32-bit
# Wine for the product's own (i686) build. Quick when everything is already there.
set -euo pipefail
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
PKGS=(cmake ninja-build g++ pkg-config libgtest-dev googletest libmspack-dev libgcab-dev gcab cabextract
      zlib1g-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb xdotool clang-14 libclang-rt-14-dev
      valgrind osslsigncode openssl groff-base)
missing=()
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in "${PKGS[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# 32-bit Wine runs the i686 build, the product.
if ! installed wine32:i386; then
  echo "installing: wine32:i386"
  $SUDO dpkg --add-architecture i386
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends wine32:i386
fi

# Some kernels run 64-bit user code only (32-bit execve fails with ENOEXEC). There the i386
# programs, wine32 among them, run through qemu's user-mode emulator, registered for i386 ELF.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  installed qemu-user-static || {
    echo "installing: qemu-user-static (this kernel does not run 32-bit code)"
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends qemu-user-static
  }
  misc=/proc/sys/fs/binfmt_misc
  [ -e $misc/register ] || $SUDO mount -t binfmt_misc binfmt_misc $misc || true
  if [ -e $misc/register ] && [ ! -e $misc/qemu-i386 ]; then
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $SUDO tee $misc/register >/dev/null || true
  fi
  if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "32-bit programs run through qemu-i386 on this machine (slower: about 50 s per Wine start)"
  else
    echo "warning: this machine cannot run 32-bit programs; the i686 tests will fail" >&2
  fi
fi
