#!/usr/bin/env bash
# The Windows packer end to end under Wine: sepack.exe makes a package from a folder (its cabinet
# written by the system cabinet library), and that package is read by sepack.exe list, verify
# and extract, its cabinet by extract-cab, and run by the stub.
#   wine-sepack.sh SEPACK.exe EXTRACTOR.exe RUX_PROBE.exe
# All three come from one build, so the loader follows their machine type: wine64 in $WINEPREFIX
# for x86_64, wine32 in $WINEPREFIX32 for i686 (about a minute per process start under
# emulation: this script starts about eight).
set -euo pipefail
SEPACK=$1 STUB=$2 PROBE=$3
export WINEDEBUG=-all
# Names outside ASCII reach the Windows programs intact only in a UTF-8 locale.
export LC_ALL=C.UTF-8

. "$(dirname "$0")/../extractor/wine-lib.sh"
wine_for "$STUB"
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; chmod -R u+w "$work"; rm -rf "$work"' EXIT
start_display
echo "stub: $arch under $WINE"
sepack() { $WINE "$SEPACK" "$@"; }

# A folder with a subfolder, an empty file, a file over 32 KiB (several MSZIP blocks), a name
# outside ASCII and a read-only file, besides the program the stub runs.
app=$work/app
mkdir -p "$app/sub/deeper"
cp "$PROBE" "$app/rux.exe"
printf 'hello' > "$app/a.txt"
seq 1 30000 > "$app/sub/big.txt"
: > "$app/sub/deeper/empty.txt"
printf 'unicode' > "$app/über.txt"
printf 'keep' > "$app/ro.txt"
chmod a-w "$app/ro.txt"

pkg=$work/pkg.exe
check "make from a folder" sepack make -q -o "$(winpath "$pkg")" --stub "$(winpath "$STUB")" \
  --prompt "From a folder?" "$(winpath "$app")"
sepack list "$(winpath "$pkg")" 2>&1 | tr -d '\r' > "$work/list" || true
cat "$work/list"
check "list: one entry" grep -q '^entries: 1' "$work/list"
check "list: every file, the subfolders' by relative path" bash -c \
  "grep -q ' sub\\\\big.txt\$' '$work/list' && grep -q ' sub\\\\deeper\\\\empty.txt\$' '$work/list' \
   && grep -q ' über.txt\$' '$work/list' && grep -q ' rux.exe\$' '$work/list'"
check "list: the read-only file is marked so" grep -q '^ *R.* ro.txt$' "$work/list"
check "verify accepts it" sepack verify "$(winpath "$pkg")"
check "extract gives the folder back" sepack extract "$(winpath "$pkg")" "$(winpath "$work/out")"
check "extracted files equal the folder's" diff -r "$app" "$work/out"

# The entry's cabinet itself, cut from the payload area (entry count, then compressed size,
# name length, name, LZH data) and decompressed, through extract-cab.
int_at() { od -An -tu4 -j "$2" -N 4 "$1" | tr -d ' '; }
area=$(sed -n 's/.*payload area at byte \([0-9]*\).*/\1/p' "$work/list")
size=$(int_at "$pkg" $((area + 4)))
name=$(int_at "$pkg" $((area + 8)))
tail -c +$((area + 12 + name + 1)) "$pkg" | head -c "$size" > "$work/entry.lzh"
check "decompress the entry" sepack decompress "$(winpath "$work/entry.lzh")" "$(winpath "$work/kem.cab")"
check "the cabinet is one by the system's writer" test "$(head -c 4 "$work/kem.cab")" = MSCF
check "extract-cab accepts it" sepack extract-cab "$(winpath "$work/kem.cab")" "$(winpath "$work/cab")"
check "its files equal the folder's" diff -r "$app" "$work/cab"

# And the stub runs it: rux.exe runs and the work folder goes.
export SE_TEST_MARK="$(winpath "$work/mark")"
before=$(work_folders)
rc=$(answer "$pkg" "Quillmark Extractor" y)
check "package runs: exit code 0 ($rc)" test "$rc" = 0
check "rux.exe ran" grep -q '^ran 0 ' "$work/mark"
check "work folder removed" test "$(work_folders)" = "$before"
rm -rf "$temp"/se_*

exit $fail
