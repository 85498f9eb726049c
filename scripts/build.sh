#!/usr/bin/env bash
# Configures and builds the three builds: native (build/), Windows x86_64 (build-win64/)
# and Windows 32-bit, the product (build-win32/). Build folders may be moved with
# BUILD_NATIVE, BUILD_WIN64 and BUILD_WIN32.
set -euo pipefail
cd "$(dirname "$0")/.."
: "${BUILD_NATIVE:=build}" "${BUILD_WIN64:=build-win64}" "${BUILD_WIN32:=build-win32}"
JOBS=$(nproc)
cfg() { # dir [extra cmake args...]
  local dir=$1; shift
  [ -f "$dir/CMakeCache.txt" ] || cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build "$dir" -j "$JOBS"
}
targets=${1:-all}
case $targets in
  native) cfg "$BUILD_NATIVE" ;;
  win64) cfg "$BUILD_WIN64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake ;;
  win32) cfg "$BUILD_WIN32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake ;;
  all)
    cfg "$BUILD_NATIVE"
    cfg "$BUILD_WIN64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
    cfg "$BUILD_WIN32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake ;;
  *) echo "usage: $0 [native|win64|win32|all]" >&2; exit 2 ;;
esac
