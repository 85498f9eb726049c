#!/usr/bin/env bash
# Runs a Windows program under Wine with Wine's own chatter silenced: 64-bit programs under
# wine64 in $WINEPREFIX, 32-bit ones (first argument --32) under wine32 in $WINEPREFIX32, the
# prefixes that scripts/test.sh prepared (or throw-away ones made here).
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
# Unix file names reach Windows programs intact only in a UTF-8 locale (Wine's ANSI code page
# is then 1252, so the tests also see names outside it).
export LC_ALL=C.UTF-8
if [ "${1:-}" = --32 ]; then
  shift
  WINE=/usr/lib/wine/wine
  [ -n "${WINEPREFIX32:-}" ] && WINEPREFIX=$WINEPREFIX32
  [ -n "${WINEPREFIX32:-}" ] || unset WINEPREFIX
else
  WINE=/usr/lib/wine/wine64
fi
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(mktemp -d)/prefix"
  export WINEPREFIX
  $WINE wineboot -i >/dev/null 2>&1 || true
fi
export WINEPREFIX
exec $WINE "$@"
