#!/usr/bin/env bash
# The Windows stub end to end under Wine: a virtual display, the message boxes answered with
# xdotool, the work folders counted in the temporary folder.
#   wine-e2e.sh EXTRACTOR.exe RUX_PROBE.exe RUX_CONSOLE_PROBE.exe MAKE_TEST_PACKAGE.exe DECOY.dll
# The loader follows the stub's machine type: wine64 in $WINEPREFIX for x86_64, wine32 in
# $WINEPREFIX32 for i686. Every i686 process start costs about a minute under emulation, so the
# i686 run skips the plain Yes case, which the Unicode case below covers.
#
# Cases: Yes (x86_64 only); Yes for a package in a Cyrillic folder with a Cyrillic temporary
# folder, a UTF-8 prompt, a decoy cabinet.dll beside it that Wine would load, and a console
# rux.exe that plants links to files outside; No; not a package; data past the end.
set -euo pipefail
STUB=$1 PROBE=$2 CONSOLE_PROBE=$3 MAKE=$4 DECOY=$5
export LC_ALL=C.UTF-8 WINEDEBUG=-all

. "$(dirname "$0")/wine-lib.sh"
wine_for "$STUB"
work=$(mktemp -d)
tmp_changed=0
cleanup() {
  if [ $tmp_changed = 1 ]; then
    $WINE reg add 'HKCU\Environment' /v TMP /t REG_EXPAND_SZ /d '%USERPROFILE%\Temp' /f \
      >/dev/null 2>&1 || true
  fi
  kill $xvfb 2>/dev/null || true
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
start_display
echo "stub: $arch under $WINE"

le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }

# The Unicode case runs a console rux.exe, whose console host holds the work folder for a
# moment after it ends; clean-up waits that out. Where wine32 runs through emulation that host
# lives a minute or more, beyond any sensible wait, and the i686 run takes the windowless probe
# (the x86_64 run covers the console case).
unicode_probe=$CONSOLE_PROBE probe_kind=console
if [ $arch = i686 ] && grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
  unicode_probe=$PROBE probe_kind=windowless
fi
export SE_TEST_MARK="$(winpath "$work/mark")"
cp "$unicode_probe" "$work/rux.exe"
printf 'hello' > "$work/a.txt"
prompt="Run the probe?"
$WINE "$MAKE" "$(winpath "$work/setup.exe")" "$(winpath "$STUB")" "$prompt" \
  "rux.exe=$(winpath "$work/rux.exe")" "a.txt=$(winpath "$work/a.txt")"
stub_size=$(stat -c %s "$STUB")
# Variants made from it here (each Wine start counts): data past the end (the first entry's
# compressed size made 1 GB), and a prompt in UTF-8 (the trailer's prompt, length, signature).
cp "$work/setup.exe" "$work/cut.exe"
le32 $((1 << 30)) | dd of="$work/cut.exe" bs=1 seek=$((stub_size + 4)) conv=notrunc status=none
utf8_prompt="Запустить пробу? Ελληνικά, 日本語"
size=$(stat -c %s "$work/setup.exe")
mkdir "$work/пакет"
{
  head -c $((size - ${#prompt} - 8)) "$work/setup.exe"
  printf '%s' "$utf8_prompt"
  le32 "$(printf '%s' "$utf8_prompt" | wc -c)"
  tail -c 4 "$work/setup.exe"
} > "$work/пакет/установка.exe"
cp "$DECOY" "$work/пакет/cabinet.dll"
cp "$STUB" "$work/plain.exe"

if [ $arch = x86_64 ]; then
  cp "$PROBE" "$work/rux.exe"
  $WINE "$MAKE" "$(winpath "$work/gui.exe")" "$(winpath "$STUB")" "$prompt" \
    "rux.exe=$(winpath "$work/rux.exe")" "a.txt=$(winpath "$work/a.txt")"
  before=$(work_folders "$temp")
  rc=$(answer "$work/gui.exe" "Quillmark Extractor" y)
  check "Yes: exit code 0 ($rc)" test "$rc" = 0
  check "Yes: rux.exe ran in the work folder" grep -q 'ran 0 C:\\users\\.*\\Temp\\se_[0-9]*' "$work/mark"
  check "Yes: work folder removed" test "$(work_folders "$temp")" = "$before"
  rm -f "$work/mark"
fi

# Unicode, decoy, console probe, links: one run.
cyrillic_temp="$work/тмп"
mkdir "$cyrillic_temp" "$work/outside"
printf 'keep me' > "$work/outside/ro.txt"
printf 'and me' > "$work/outside/keep.txt"
chmod 444 "$work/outside/ro.txt"
chmod 640 "$work/outside/keep.txt"
outside_before=$(cd "$work/outside" && stat -c '%n %a %h %s' . ro.txt keep.txt)
$WINE reg add 'HKCU\Environment' /v TMP /t REG_SZ /d "$(winpath "$cyrillic_temp")" /f >/dev/null 2>&1
tmp_changed=1
rc=$(SE_TEST_PLANT="$(winpath "$work/outside")" WINEDEBUG=trace+msgbox WINEDLLOVERRIDES=cabinet=n,b \
  answer "$work/пакет/установка.exe" "Quillmark Extractor" y)
check "Unicode: exit code 0 ($rc)" test "$rc" = 0
check "Unicode: the UTF-8 prompt reached the box" \
  grep -qF 'L"\0417\0430\043f\0443\0441\0442\0438\0442\044c \043f\0440\043e\0431\0443? \0395\03bb\03bb\03b7\03bd\03b9\03ba\03ac, \65e5\672c\8a9e"' "$work/trace"
check "Unicode: rux.exe ran in the Cyrillic temporary folder" \
  grep -q "^ran 0 Z:.*\\\\тмп\\\\se_[0-9]*\$" "$work/mark"
check "Unicode: the links were planted" grep -q '^planted hardlink' "$work/mark"
sed -n 's/^\(not-\)\{0,1\}planted /  probe: &/p' "$work/mark"
check "Unicode: work folder removed ($probe_kind rux.exe, links, read-only Cyrillic file)" \
  test "$(work_folders "$cyrillic_temp")" = 0
check "Unicode: nothing outside changed" \
  test "$(cd "$work/outside" && stat -c '%n %a %h %s' . ro.txt keep.txt)" = "$outside_before"
$WINE reg add 'HKCU\Environment' /v TMP /t REG_EXPAND_SZ /d '%USERPROFILE%\Temp' /f >/dev/null 2>&1
tmp_changed=0
rm -f "$work/mark"

before=$(work_folders "$temp")
rc=$(WINEDEBUG=trace+msgbox answer "$work/setup.exe" "Quillmark Extractor" n)
check "No: exit code 0 ($rc)" test "$rc" = 0
check "No: the ANSI prompt reached the box" grep -qF "L\"$prompt\"" "$work/trace"
check "No: nothing ran, nothing left" test ! -e "$work/mark" -a "$(work_folders "$temp")" = "$before"

rc=$(answer "$work/plain.exe" "SE error" Return)
check "Not a package: 'SE error' box, exit code 0 ($rc)" test "$rc" = 0

$WINE "$work/cut.exe" & pid=$!
win=$(wait_window "Quillmark Extractor")
[ -n "$win" ] && press "$win" y
win=$(wait_window "Application Error")
check "Data past the end: 'Application Error' box" test -n "$win"
[ -n "$win" ] && press "$win" Return
rc=0; wait $pid || rc=$?
check "Data past the end: exit code 1 ($rc)" test "$rc" = 1
rm -rf "$temp"/se_*

exit $fail
