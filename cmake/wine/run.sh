#!/usr/bin/env bash
# Runs one Windows test program under wine64 on an X display.
#
# ctest puts this script in front of every Windows test command (CMAKE_CROSSCOMPILING_EMULATOR).
# All runs that share WINEPREFIX also share one prepared prefix, one wineserver and one Xvfb
# display, created by the first run: preparing a prefix takes seconds, and windows of different
# processes (a test and the log viewer it starts) must live on the same display to see each other.
# stop.sh ends the shared session.
set -euo pipefail

: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/velmora/wine-prefix}"
export WINEPREFIX WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
session="$WINEPREFIX.session"
mkdir -p "$session"

display_alive() {
  [ -s "$session/display" ] && [ -s "$session/xvfb.pid" ] && kill -0 "$(cat "$session/xvfb.pid")" 2>/dev/null
}

start_session() {
  if [ -n "${VELMORA_WINE_DISPLAY:-}" ]; then
    echo "$VELMORA_WINE_DISPLAY" > "$session/display"; echo $$ > "$session/xvfb.pid"
  elif ! display_alive; then
    rm -f "$session/display"
    # -displayfd lets Xvfb pick a free display number and report it.
    setsid Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$session/display.tmp" \
      >/dev/null 2>&1 </dev/null 9>&- &
    echo $! > "$session/xvfb.pid"
    for _ in $(seq 100); do [ -s "$session/display.tmp" ] && break; sleep 0.05; done
    [ -s "$session/display.tmp" ] || { echo "wine/run.sh: Xvfb did not start" >&2; exit 1; }
    echo ":$(tr -d '\n' < "$session/display.tmp")" > "$session/display"
  fi
  export DISPLAY; DISPLAY=$(cat "$session/display")
  # Keep one wineserver for the whole session instead of one per test program.
  /usr/lib/wine/wineserver -p >/dev/null 2>&1 9>&- || true
  # wineboot creates the prefix the first time and starts wine's own service processes. Started
  # here with no terminal or pipe, they cannot hold a test's output open after it ends.
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  else
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
}

# Children started while the lock is held must not inherit it (9>&- above), or the next run
# would wait for them forever.
exec 9>"$session/lock"
flock 9
start_session
exec 9>&-
# "run.sh --prepare" only sets the session up (ctest's fixture does this before the tests).
[ "${1:-}" = "--prepare" ] && exit 0
exec "$wine" "$@"
