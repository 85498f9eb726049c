#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds all three builds, runs the native
# tests with ctest and the Windows x86_64 tests under wine64 in a throw-away prefix, then the
# native tests again built with the sanitizers, and each fuzzing harness for 20 s.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh all
: "${BUILD_NATIVE:=build}" "${BUILD_WIN64:=build-win64}"

echo "== native tests"
ctest --test-dir "$BUILD_NATIVE" --output-on-failure -j "$(nproc)"

echo "== Windows x86_64 tests under wine64"
WINEPREFIX="$(mktemp -d)/prefix"
export WINEPREFIX WINEDEBUG=-all
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1 || true; rm -rf "$(dirname "$WINEPREFIX")"' EXIT
ctest --test-dir "$BUILD_WIN64" --output-on-failure

echo "== native tests with AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh

echo "== fuzzing, 20 s per harness"
scripts/fuzz.sh
