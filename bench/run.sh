#!/usr/bin/env bash
# The performance figures, side by side, in one run:
#   1. LZH decode and encode throughput against zlib (level 6) on an uncompressed cabinet of about
#      16 MB and an MSZIP cabinet of about 5 MB, made here with gcab from the same real files
#      (Wine's Windows DLLs, else shared libraries, plus documentation texts);
#   2. the native stub's whole run on a package holding the MSZIP cabinet against cabextract
#      extracting it (when sepack make is built);
#   3. the peak memory of sepack make with one large cabinet (MAKE_MEMORY_MB, default 200 MB of
#      random data), against 64 MB plus the entry; sepack make of a ~50 MB folder of the same
#      kind of files as in 1, on every core against pinned to one (taskset -c 0), and its peak
#      memory;
#   4. the size of the Windows 32-bit stub against its limit.
# Each figure comes with its ratio and target. Throughput is the best of --runs by CPU time.
#   bench/run.sh [--runs N] [--mb MB]
# Build folders: BUILD_NATIVE (default build), BUILD_WIN32 (default build-win32); each is
# configured (Release) if it does not exist yet. SKIP_STUB=1 leaves out the 32-bit stub;
# MEMORY_MB lists the entry sizes of the memory figure (default "16 256 1024").
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD_NATIVE:-build}
BUILD_WIN32=${BUILD_WIN32:-build-win32}
RUNS=3
MB=16
while [ $# -gt 0 ]; do
  case $1 in
    --runs) RUNS=$2; shift 2 ;;
    --mb) MB=$2; shift 2 ;;
    --large) shift ;;  # the default size; kept for old command lines
    *) echo "usage: $0 [--runs N] [--mb MB]" >&2; exit 2 ;;
  esac
done
STUB_LIMIT=171008

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target lzh_bench >/dev/null

DATA=$(mktemp -d)
trap 'rm -rf "$DATA"' EXIT
mkdir "$DATA/files"

# Take files in a stable order until the budget is spent: 3/4 binaries, 1/4 texts.
pick() { # budget_bytes file...  (into $PICK_DIR, default $DATA/files)
  local budget=$1 total=0 dest=${PICK_DIR:-$DATA/files}; shift
  for f in "$@"; do
    [ -f "$f" ] && [ -r "$f" ] || continue
    local size; size=$(stat -c %s "$f")
    [ "$size" -gt 0 ] && [ "$size" -le $((budget / 2)) ] || continue
    [ $((total + size)) -le "$budget" ] || continue
    cp "$f" "$dest/$(echo "$f" | tr / _)"
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
# The program the stub starts after extracting: it ends at once.
printf '#!/bin/sh\nexit 0\n' >"$DATA/files/rux.exe"
chmod +x "$DATA/files/rux.exe"

(cd "$DATA/files" && gcab -c "$DATA/stored.cab" * && gcab -z -c "$DATA/mszip.cab" *)
echo "input: $(ls "$DATA/files" | wc -l) files, $(du -sh "$DATA/files" | cut -f1)"
echo
echo "== LZH codec against zlib (best of $RUNS by CPU time)"
"$BUILD/bin/lzh_bench" --runs "$RUNS" --encode-target 1.0 --decode-target 0.5 "$DATA/stored.cab" \
  --decode-target 0.3 "$DATA/mszip.cab"

echo
echo "== native stub's whole run against cabextract (MSZIP cabinet)"
cmake --build "$BUILD" --target sepack extractor >/dev/null 2>&1 || true
SEPACK="$BUILD/bin/sepack"
if [ -x "$SEPACK" ] && "$SEPACK" --help 2>/dev/null | grep -q "^  make "; then
  "$SEPACK" make -o "$DATA/package" --stub "$BUILD/bin/extractor" "$DATA/mszip.cab" >/dev/null
  best() { # command... : best wall time of RUNS, in seconds
    local b=
    for _ in $(seq "$RUNS"); do
      local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N)
      b=$(echo "$t0 $t1 ${b:-}" | awk '{t = $2 - $1; if ($3 != "" && $3 < t) t = $3; print t}')
    done
    echo "$b"
  }
  run_stub() { (cd "$DATA" && echo y | TMPDIR="$DATA" ./package); }
  run_cabextract() { rm -rf "$DATA/cx" && cabextract -q -d "$DATA/cx" "$DATA/mszip.cab"; }
  stub=$(best run_stub)
  cabx=$(best run_cabextract)
  awk -v s="$stub" -v c="$cabx" 'BEGIN {
    r = s / c
    printf "  stub run %.3f s   cabextract %.3f s   %.2f x   (target <= 3.0 x: %s)\n", s, c, r,
           r <= 3.0 ? "met" : "NOT met" }'

  echo
  echo "== peak memory of the stub's run (limit: 32 MB whatever the entry size)"
  # The largest resident size of the stub, in KB: by GNU time when there is one (a child forked
  # from python starts with python's own resident size, some 10 MB, before it runs the stub).
  peak_kb() { # package
    if [ -x /usr/bin/time ]; then
      (cd "$DATA" && echo y | TMPDIR="$DATA" /usr/bin/time -f %M -o "$DATA/peak" "./$1" \
        >/dev/null 2>&1 || true) && cat "$DATA/peak" && return
    fi
    (cd "$DATA" && python3 -c '
import resource, subprocess, sys
subprocess.run(["./" + sys.argv[1]], input=b"y\n", env={"TMPDIR": sys.argv[2]},
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$1" "$DATA")
  }
  memory_line() { # label cabinet_bytes peak_kb
    awk -v n="$1" -v c="$2" -v k="$3" 'BEGIN {
      limit = 32 * 1048576; used = k * 1024
      printf "  %-14s cabinet %7.1f MB   peak %6.1f MB   limit %4.1f MB   (%s)\n", n,
             c / 1048576, used / 1048576, limit / 1048576, used <= limit ? "met" : "NOT met" }'
  }
  memory_line mszip.cab "$(stat -c %s "$DATA/mszip.cab")" "$(peak_kb package)"
  # One large stored file per entry size (MEMORY_MB, default 16 256 1024), of a short pattern
  # that the packer compresses quickly (about 45:1): memory is what is measured here.
  for mb in ${MEMORY_MB:-16 256 1024}; do
    mkdir -p "$DATA/big"
    python3 - "$DATA/big/data.bin" "$mb" <<'PY'
import sys
block = bytes(range(256)) * 4096
with open(sys.argv[1], "wb") as out:
    for _ in range(int(sys.argv[2])):
        out.write(block)
PY
    cp "$DATA/files/rux.exe" "$DATA/big/rux.exe"
    (cd "$DATA/big" && gcab -c "$DATA/big.cab" data.bin rux.exe)
    rm -rf "$DATA/big"
    "$SEPACK" make -q -o "$DATA/package-big" --stub "$BUILD/bin/extractor" "$DATA/big.cab" \
      >/dev/null
    cab=$(stat -c %s "$DATA/big.cab")
    rm -f "$DATA/big.cab"
    memory_line "stored ${mb} MB" "$cab" "$(peak_kb package-big)"
    rm -f "$DATA/package-big"
  done

  echo
  echo "== peak memory of sepack make with one large cabinet (limit: 64 MB plus the entry)"
  # Random data, which MSZIP cannot shrink: the cabinet, and the entry, are as large as the data.
  mkdir -p "$DATA/large"
  head -c $((${MAKE_MEMORY_MB:-200} * 1000000)) /dev/urandom >"$DATA/large/data.bin"
  cp "$DATA/files/rux.exe" "$DATA/large/rux.exe"
  (cd "$DATA/large" && gcab -z -c "$DATA/large.cab" data.bin rux.exe)
  rm -rf "$DATA/large"
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o "$DATA/peak" "$SEPACK" make -q -o "$DATA/package-large" \
      --stub "$BUILD/bin/extractor" "$DATA/large.cab"
    make_peak=$(cat "$DATA/peak")
  else
    make_peak=$(python3 -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$SEPACK" make -q -o \
      "$DATA/package-large" --stub "$BUILD/bin/extractor" "$DATA/large.cab")
  fi
  awk -v c="$(stat -c %s "$DATA/large.cab")" -v k="$make_peak" 'BEGIN {
    limit = 64 * 1048576 + c; used = k * 1024
    printf "  cabinet %.1f MB   peak %.1f MB   limit %.1f MB   (%s)\n", c / 1048576,
           used / 1048576, limit / 1048576, used <= limit ? "met" : "NOT met" }'
  rm -f "$DATA/large.cab" "$DATA/package-large"

  echo
  echo "== sepack make of a ~50 MB folder: every core against one (taskset -c 0), best of $RUNS"
  mkdir "$DATA/make"
  PICK_DIR="$DATA/make" pick $((50 * 1024 * 1024 * 3 / 4)) "${bins[@]}"
  PICK_DIR="$DATA/make" pick $((50 * 1024 * 1024 / 4)) "${texts[@]}"
  cp "$DATA/files/rux.exe" "$DATA/make/"
  make_all() { "$SEPACK" make -q -o "$DATA/made" --stub "$BUILD/bin/extractor" "$DATA/make"; }
  make_one() { taskset -c 0 "$SEPACK" make -q -o "$DATA/made" --stub "$BUILD/bin/extractor" \
                 "$DATA/make"; }
  all=$(best make_all)
  one=$(best make_one)
  awk -v a="$all" -v o="$one" -v c="$(nproc)" -v m="$(du -sm "$DATA/make" | cut -f1)" 'BEGIN {
    r = a / o
    printf "  %d MB, %d cores: %.2f s   one core: %.2f s   %.2f x   (target <= 0.6 x: %s)\n",
           m, c, a, o, r, r <= 0.6 ? "met" : "NOT met" }'
  peak=$(python3 -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$SEPACK" make -q -o "$DATA/made" \
    --stub "$BUILD/bin/extractor" "$DATA/make")
  awk -v k="$peak" 'BEGIN { printf "  peak memory of make: %.1f MB\n", k / 1024 }'
else
  echo "  skipped: $SEPACK has no make command yet"
fi

echo
echo "== Windows 32-bit stub size"
if [ "${SKIP_STUB:-}" = 1 ]; then
  echo "  skipped (SKIP_STUB=1)"
else
  [ -f "$BUILD_WIN32/CMakeCache.txt" ] ||
    cmake -S . -B "$BUILD_WIN32" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
  cmake --build "$BUILD_WIN32" --target extractor >/dev/null
  exe="$BUILD_WIN32/bin/extractor.exe"
  size=$(stat -c %s "$exe")
  dlls=$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name/ {print $3}' | sort | tr '\n' ' ')
  awk -v s="$size" -v l="$STUB_LIMIT" 'BEGIN {
    printf "  %s bytes, limit %d: %.2f x   (target <= 1.0 x: %s)\n", s, l, s / l,
           s <= l ? "met" : "NOT met" }'
  echo "  imports: $dlls"
fi
