# Shared by the end-to-end scripts that run a Windows stub under Wine; sourced, not run.
#   wine_for STUB: picks the loader from the stub's machine type (wine64 in $WINEPREFIX for
#     x86_64, wine32 in $WINEPREFIX32 for i686, whose process starts cost about a minute under
#     emulation), makes a prefix when none is given, and sets WINE, arch and patience (seconds
#     to wait for a box).
#   start_display: a virtual display of its own (pid in $xvfb) and the prefix's temporary
#     folder in $temp.
# Then answer, check, winpath and work_folders below.

xvfb=""
wine_for() { # stub
  local machine
  machine=$(od -An -tu2 -j $(($(od -An -tu4 -j 60 -N 4 "$1") + 4)) -N 2 "$1" | tr -d ' ')
  if [ "$machine" = 332 ]; then  # 0x14c: i686
    WINE=/usr/lib/wine/wine arch=i686 patience=900
    if [ -n "${WINEPREFIX32:-}" ]; then WINEPREFIX=$WINEPREFIX32; else unset WINEPREFIX; fi
  else
    WINE=/usr/lib/wine/wine64 arch=x86_64 patience=60
  fi
  if [ -z "${WINEPREFIX:-}" ]; then
    WINEPREFIX="$(mktemp -d)/prefix"
    export WINEPREFIX
    $WINE wineboot -i >/dev/null 2>&1 || true
  fi
  export WINEPREFIX
}

start_display() {
  local display=":$((100 + RANDOM % 400))"
  Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 & xvfb=$!
  export DISPLAY=$display
  sleep 1
  temp=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp 2>/dev/null | grep -v /Public/ | head -1)
  [ -n "$temp" ] || { echo "no temporary folder in $WINEPREFIX" >&2; exit 1; }
}

work_folders() { { ls -d "${1:-$temp}"/se_* 2>/dev/null || true; } | wc -l; }
# A Unix path as the Windows programs should get it (drive Z: is the Unix root).
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }

fail=0
check() { # description condition...
  local what=$1; shift
  if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fail=1; fi
}

wait_window() { # title; echoes the window id, or nothing after $patience seconds
  local win="" until=$((SECONDS + patience))
  while [ $SECONDS -lt $until ]; do
    win=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
    [ -n "$win" ] && break
    sleep 0.25
  done
  echo "$win"
}
press() { # window key
  xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
  xdotool key --window "$1" "$2"
}

# Runs a package (stderr to $work/trace), answers the box with the given title with a key;
# echoes the exit code (99: no box came).
answer() { # package title key
  $WINE "$1" 2>"$work/trace" & local pid=$!
  local win; win=$(wait_window "$2")
  if [ -z "$win" ]; then echo "no window titled '$2'" >&2; kill $pid 2>/dev/null; wait $pid 2>/dev/null; echo 99; return; fi
  press "$win" "$3"
  local rc=0; wait $pid || rc=$?
  echo $rc
}
