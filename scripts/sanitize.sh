#!/usr/bin/env bash
# The native test suite built with AddressSanitizer and UndefinedBehaviorSanitizer (g++), run by
# ctest. Any report fails the run, also one in a program a test starts (the stub): a report ends
# the process with exit code 86, which no test expects, and AddressSanitizer's reports are also
# written to a log that must stay empty. Build folder: BUILD_ASAN (default build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."
: "${BUILD_ASAN:=build-asan}"
[ -f "$BUILD_ASAN/CMakeCache.txt" ] ||
  cmake -S . -B "$BUILD_ASAN" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSE_SANITIZE=ON -DSE_BUILD_BENCH=OFF
cmake --build "$BUILD_ASAN" -j "$(nproc)"

reports="$(cd "$BUILD_ASAN" && pwd)/sanitizer-reports"
rm -rf "$reports" && mkdir -p "$reports"
common="halt_on_error=1:exitcode=86:log_path=$reports/report:print_stacktrace=1"
export ASAN_OPTIONS="$common:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="$common"
status=0
ctest --test-dir "$BUILD_ASAN" --output-on-failure -j "$(nproc)" || status=$?
if compgen -G "$reports/report*" >/dev/null; then
  echo "sanitizer reports:" >&2
  cat "$reports"/report* >&2
  status=1
fi
exit "$status"
