#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang-14, BUILD_FUZZ, default build-fuzz/) and runs each for a
# bounded time from its committed seeds (fuzz/corpus/<harness>) plus what earlier runs found
# (BUILD_FUZZ/corpus/<harness>). Fails on the first finding, whose input lands in
# BUILD_FUZZ/findings/. The test command runs it with the default 20 s per harness.
#
#   scripts/fuzz.sh [--seconds N] [harness...]   e.g. scripts/fuzz.sh --seconds 3600 package
#
# Harnesses: lzh_decode lzh_roundtrip cab_paths cabinet_standin cab_reader package.
set -euo pipefail
cd "$(dirname "$0")/.."
: "${BUILD_FUZZ:=build-fuzz}"
seconds=20
harnesses=()
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) harnesses+=("$1"); shift ;;
  esac
done
[ ${#harnesses[@]} -gt 0 ] || harnesses=(lzh_decode lzh_roundtrip cab_paths cabinet_standin cab_reader package)

[ -f "$BUILD_FUZZ/CMakeCache.txt" ] ||
  cmake -S . -B "$BUILD_FUZZ" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSE_FUZZ=ON \
    -DSE_BUILD_TESTS=OFF -DSE_BUILD_BENCH=OFF -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
cmake --build "$BUILD_FUZZ" -j "$(nproc)" --target fuzzers

export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p "$BUILD_FUZZ/findings"
for h in "${harnesses[@]}"; do
  [ -d "fuzz/corpus/$h" ] || { echo "no harness $h" >&2; exit 2; }
  mkdir -p "$BUILD_FUZZ/corpus/$h"
  log="$BUILD_FUZZ/findings/$h.log"
  # The codec's harnesses need inputs long enough to reach a model rebuild (32,455 symbols).
  extra=()
  case $h in lzh_*) extra=(-max_len=65536) ;; esac
  echo "-- $h: ${seconds} s"
  if ! "$BUILD_FUZZ/bin/fuzz_$h" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${extra[@]}" \
      -print_final_stats=1 -artifact_prefix="$BUILD_FUZZ/findings/$h-" \
      "$BUILD_FUZZ/corpus/$h" "fuzz/corpus/$h" >"$log" 2>&1; then
    cat "$log" >&2
    echo "fuzz_$h found a failure; its input is in $BUILD_FUZZ/findings/" >&2
    exit 1
  fi
  grep -E "^Done" "$log" | sed "s/^/   /"
done
