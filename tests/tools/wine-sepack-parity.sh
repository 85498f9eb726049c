#!/usr/bin/env bash
# sepack.exe under Wine against the native sepack: the same streams, the same packages, the same
# extracted files (through the system cabinet.dll), the same exit codes.
#   wine-sepack-parity.sh SEPACK.exe EXTRACTOR.exe
# The native sepack is $SEPACK, else the sibling native build's (build/bin/sepack beside this
# build folder). The loader follows sepack.exe's machine type (wine64 in $WINEPREFIX, wine32 in
# $WINEPREFIX32). Every i686 process start costs about a minute under emulation, so the i686 run
# takes one case of each kind.
set -euo pipefail
EXE=$(realpath "$1") STUB=$(realpath "$2")
export WINEDEBUG=-all LC_ALL=C.UTF-8
SEPACK=${SEPACK:-$(dirname "$(dirname "$(realpath "$EXE")")")/../build/bin/sepack}
[ -x "$SEPACK" ] || { echo "no native sepack at $SEPACK: build the native sepack first" >&2; exit 1; }
FIXTURES=$(realpath "$(dirname "$0")/../fixtures/cab")

. "$(dirname "$0")/../extractor/wine-lib.sh"
wine_for "$EXE"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "sepack.exe: $arch under $WINE"
full=1
[ $arch = i686 ] && full=0

failures=0
check() { # description command...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
win() { $WINE "$EXE" "$@"; }
status_of() { local s=0; "$@" >/dev/null 2>&1 || s=$?; echo $s; }

# --- Exit codes and help.
check "no arguments: exit 2" test "$(status_of win)" = 2
if [ $full = 1 ]; then
  check "unknown command: exit 2" test "$(status_of win frobnicate)" = 2
  check "help make: exit 0, the native text" \
    test "$(win help make | tr -d '\r')" = "$("$SEPACK" help make)"
fi

# --- compress: byte for byte the native stream.
head -c 70000 /dev/urandom > "$work/random.bin"
cat "$FIXTURES"/../../../tools/sepack/*.cpp > "$work/text.txt"
: > "$work/empty.bin"
inputs=(text.txt)
[ $full = 1 ] && inputs+=(random.bin empty.bin)
for f in "${inputs[@]}"; do
  "$SEPACK" compress "$work/$f" "$work/$f.native.lzh"
  win compress "$(winpath "$work/$f")" "$(winpath "$work/$f.win.lzh")"
  check "compress $f: the native stream" cmp -s "$work/$f.native.lzh" "$work/$f.win.lzh"
done
if [ $full = 1 ]; then
  # A name outside every ANSI code page arrives intact; a failure leaves no output behind.
  cp "$work/text.txt" "$work/данные-日本.txt"
  win compress "$(winpath "$work/данные-日本.txt")" "$(winpath "$work/ünï.lzh")"
  check "compress: a Unicode name in and out" cmp -s "$work/text.txt.native.lzh" "$work/ünï.lzh"
  mkdir "$work/atomic"
  check "compress of a folder fails with exit 1" \
    test "$(status_of win compress "$(winpath "$work")" "$(winpath "$work/atomic/out")")" = 1
  check "a failed compress leaves nothing" test -z "$(ls -A "$work/atomic")"
  win decompress "$(winpath "$work/random.bin.win.lzh")" "$(winpath "$work/random.back")"
  check "decompress restores the input" cmp -s "$work/random.bin" "$work/random.back"
fi

# --- make from cabinets: the native package for the same stub; list, verify read it.
cabs=("$FIXTURES/mszip.cab")
[ $full = 1 ] && cabs+=("$FIXTURES/attribs.cab")
wincabs=()
for c in "${cabs[@]}"; do wincabs+=("$(winpath "$c")"); done
"$SEPACK" make -q -o "$work/native.exe" --stub "$STUB" --prompt "Install?" "${cabs[@]}"
win make -q -o "$(winpath "$work/win.exe")" --stub "$(winpath "$STUB")" --prompt "Install?" \
  "${wincabs[@]}"
check "make: the native package" cmp -s "$work/native.exe" "$work/win.exe"
if [ $full = 1 ]; then
  check "list: the native listing" \
    test "$(win list "$(winpath "$work/win.exe")" | tr -d '\r' | sed 's/Z:.*win\.exe/PKG/')" = \
         "$("$SEPACK" list "$work/win.exe" | sed 's/\/.*win\.exe/PKG/')"
  check "verify: no rux.exe, not sound, as natively" \
    test "$(status_of win verify "$(winpath "$work/win.exe")")" = 1
  mkdir "$work/app"
  cp "$STUB" "$work/app/rux.exe"
  echo hello > "$work/app/a.txt"
  "$SEPACK" make -q -o "$work/app.exe" --stub "$STUB" "$work/app"
  check "verify: a package that runs rux.exe is sound" \
    test "$(status_of win verify "$(winpath "$work/app.exe")")" = 0
  # An output inside the input folder is refused; one beside it is not, also when the input is
  # the current folder (a drive's bare "Z:" names the current folder, never the root).
  check "make: an output inside the input folder is refused" \
    test "$(status_of win make -q -o "$(winpath "$work/app/sub.exe")" --stub "$(winpath "$STUB")" \
            "$(winpath "$work/app")")" = 1
  check "make: an output beside the current folder packed" \
    test "$(cd "$work/app" && status_of win make -q -o "$(winpath "$work/beside.exe")" \
            --stub "$(winpath "$STUB")" .)" = 0
  check "make: from the current folder, a sound package" \
    test "$(status_of win verify "$(winpath "$work/beside.exe")")" = 0
  check "make: a damaged cabinet is refused with exit 1" \
    test "$(status_of win make -q -o "$(winpath "$work/bad.exe")" --stub "$(winpath "$STUB")" \
            "$(winpath "$FIXTURES/corrupt.cab")")" = 1
  check "a refused make leaves nothing" test ! -e "$work/bad.exe"
fi

# --- extract-cab through cabinet.dll: the native files, byte for byte.
sets=(set2_1.cab)
[ $full = 1 ] && sets+=(mszip.cab lzx.cab attribs.cab set3_1.cab set3z_1.cab)
for s in "${sets[@]}"; do
  "$SEPACK" extract-cab "$FIXTURES/$s" "$work/n-$s" >/dev/null
  win extract-cab "$(winpath "$FIXTURES/$s")" "$(winpath "$work/w-$s")" >/dev/null
  check "extract-cab $s: the native files" diff -r "$work/n-$s" "$work/w-$s"
done
if [ $full = 1 ]; then
  for bad in corrupt.cab truncated.cab notcab.cab; do
    check "extract-cab $bad: exit 1" \
      test "$(status_of win extract-cab "$(winpath "$FIXTURES/$bad")" "$(winpath "$work/b-$bad")")" = 1
  done
fi

[ $failures = 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all checks passed"
