#!/usr/bin/env bash
# The Windows stub end to end under wine64: a virtual display, the message boxes answered with
# xdotool, and the work folders counted in the prefix's temporary folder.
#   wine-e2e.sh EXTRACTOR.exe RUX_PROBE.exe MAKE_TEST_PACKAGE.exe
set -euo pipefail
STUB=$1 PROBE=$2 MAKE=$3
WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(mktemp -d)/prefix"; export WINEPREFIX
  $WINE wineboot -i >/dev/null 2>&1 || true
fi
work=$(mktemp -d)
display=":$((100 + RANDOM % 400))"
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 & xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=$display
sleep 1
temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp 2>/dev/null | grep -v /Public/ | head -1)
[ -n "$temp" ] || { echo "no temporary folder in $WINEPREFIX" >&2; exit 1; }
fail=0

work_folders() { { ls -d "$temp"/se_* 2>/dev/null || true; } | wc -l; }
# A Unix path as the Windows programs should get it (drive Z: is the Unix root).
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }

# Runs a package, waits for a box with the given title, presses a key; echoes the exit code.
answer() { # package title key
  $WINE "$1" & local pid=$! win=""
  for _ in $(seq 80); do
    win=$(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null | head -1) || true
    [ -n "$win" ] && break
    sleep 0.25
  done
  if [ -z "$win" ]; then echo "no window titled '$2'" >&2; kill $pid 2>/dev/null; wait $pid 2>/dev/null; echo 99; return; fi
  xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
  xdotool key --window "$win" "$3"
  local rc=0; wait $pid || rc=$?
  echo $rc
}

check() { # description condition...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi
}

export SE_TEST_MARK="$(winpath "$work/mark")"
cp "$PROBE" "$work/rux.exe"
printf 'hello' > "$work/a.txt"
$WINE "$MAKE" "$(winpath "$work/setup.exe")" "$(winpath "$STUB")" "Run the probe?" \
  "rux.exe=$(winpath "$work/rux.exe")" "a.txt=$(winpath "$work/a.txt")"
$WINE "$MAKE" "$(winpath "$work/cut.exe")" "$(winpath "$STUB")" "" --data-past-end \
  "rux.exe=$(winpath "$work/rux.exe")"
cp "$STUB" "$work/plain.exe"

before=$(work_folders)
rc=$(answer "$work/setup.exe" "Quillmark Extractor" y)
check "Yes: exit code 0 ($rc)" test "$rc" = 0
check "Yes: rux.exe ran in the work folder" grep -q 'ran 0 C:\\users\\.*\\Temp\\se_[0-9]*' "$work/mark"
check "Yes: work folder removed" test "$(work_folders)" = "$before"

rm -f "$work/mark"
rc=$(answer "$work/setup.exe" "Quillmark Extractor" n)
check "No: exit code 0 ($rc)" test "$rc" = 0
check "No: nothing ran, nothing left" test ! -e "$work/mark" -a "$(work_folders)" = "$before"

rc=$(answer "$work/plain.exe" "SE error" Return)
check "Not a package: 'SE error' box, exit code 0 ($rc)" test "$rc" = 0

$WINE "$work/cut.exe" & pid=$!
for _ in $(seq 80); do
  win=$(xdotool search --onlyvisible --name '^Quillmark Extractor$' 2>/dev/null | head -1) || true
  [ -n "$win" ] && break; sleep 0.25
done
xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
xdotool key --window "$win" y
for _ in $(seq 80); do
  win=$(xdotool search --onlyvisible --name '^Application Error$' 2>/dev/null | head -1) || true
  [ -n "$win" ] && break; sleep 0.25
done
check "Data past the end: 'Application Error' box" test -n "$win"
xdotool windowactivate --sync "$win" >/dev/null 2>&1 || true
xdotool key --window "$win" Return
rc=0; wait $pid || rc=$?
check "Data past the end: exit code 1 ($rc)" test "$rc" = 1
rm -rf "$temp"/se_*

exit $fail
