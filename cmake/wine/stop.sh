#!/usr/bin/env bash
# Ends the wine session that run.sh started for WINEPREFIX: its wineserver and its Xvfb display.
set -uo pipefail
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/velmora/wine-prefix}"
export WINEPREFIX
session="$WINEPREFIX.session"
/usr/lib/wine/wineserver -k 2>/dev/null
if [ -s "$session/xvfb.pid" ] && [ -z "${VELMORA_WINE_DISPLAY:-}" ]; then
  kill "$(cat "$session/xvfb.pid")" 2>/dev/null
fi
rm -f "$session/display" "$session/xvfb.pid"
exit 0
