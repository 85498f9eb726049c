#!/usr/bin/env bash
# The main job, from a fresh Debian machine: install what is missing, build all three builds,
# then compress and decompress a sample file with the packer and show the sizes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh all
: "${BUILD_NATIVE:=build}"
SEPACK="$BUILD_NATIVE/bin/sepack"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
sample=README.md
"$SEPACK" compress "$sample" "$out/sample.lzh"
"$SEPACK" decompress "$out/sample.lzh" "$out/sample.out"
cmp "$sample" "$out/sample.out"
printf '%-28s %10s bytes\n' "original ($sample)" "$(stat -c %s "$sample")" \
  "LZH stream" "$(stat -c %s "$out/sample.lzh")" \
  "decompressed (identical)" "$(stat -c %s "$out/sample.out")"
