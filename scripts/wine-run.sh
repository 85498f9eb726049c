#!/usr/bin/env bash
# Runs a Windows program under wine64 in the prefix that scripts/test.sh prepared
# (or a throw-away one made here), with Wine's own chatter silenced.
set -euo pipefail
export WINEDEBUG=-all
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(mktemp -d)/prefix"
  export WINEPREFIX
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
fi
exec /usr/lib/wine/wine64 "$@"
