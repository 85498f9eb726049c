#!/usr/bin/env bash
# Builds lzh_bench, makes cabinets from files already on this machine (Wine's Windows DLLs,
# else shared libraries, plus documentation texts), once stored and once MSZIP-compressed,
# and measures the codec on them next to zlib.
#   bench/run.sh [--large]        (--large: about 16 MB of input instead of about 4 MB)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD_NATIVE:-build}
MB=4
[ "${1:-}" = "--large" ] && MB=16

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target lzh_bench >/dev/null

DATA=$(mktemp -d)
trap 'rm -rf "$DATA"' EXIT
mkdir "$DATA/files"

# Take files in a stable order until the budget is spent: 3/4 binaries, 1/4 texts.
pick() { # budget_bytes file...
  local budget=$1 total=0; shift
  for f in "$@"; do
    [ -f "$f" ] && [ -r "$f" ] || continue
    local size; size=$(stat -c %s "$f")
    [ "$size" -gt 0 ] && [ "$size" -le $((budget / 2)) ] || continue
    [ $((total + size)) -le "$budget" ] || continue
    cp "$f" "$DATA/files/$(echo "$f" | tr / _)"
    total=$((total + size))
  done
}
shopt -s nullglob
bins=(/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll /usr/lib/wine/x86_64-windows/*.dll
      /usr/lib/x86_64-linux-gnu/wine/*.dll /usr/lib/wine/*.dll)
[ ${#bins[@]} -gt 0 ] || bins=(/usr/lib/x86_64-linux-gnu/*.so* /usr/lib/*.so*)
texts=(/usr/share/doc/*/copyright /usr/share/common-licenses/*)
pick $((MB * 1024 * 1024 * 3 / 4)) "${bins[@]}"
pick $((MB * 1024 * 1024 / 4)) "${texts[@]}"

(cd "$DATA/files" && gcab -c "$DATA/stored.cab" ./* && gcab -z -c "$DATA/mszip.cab" ./*)
echo "input: $(ls "$DATA/files" | wc -l) files, $(du -sh "$DATA/files" | cut -f1)"
"$BUILD/bin/lzh_bench" "$DATA/stored.cab" "$DATA/mszip.cab"
