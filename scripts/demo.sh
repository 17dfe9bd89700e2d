#!/usr/bin/env bash
# The launcher demo. Builds the optimised launcher, publishes version 1.1 of the sample game
# client and serves it over HTTPS with nginx (https://localhost:47611/patch/, this machine only,
# with a certificate of the build tree's test authority, which the demo launcher is built to
# trust), and starts the launcher from a folder holding version 1.0 against it: the launcher
# finds itself up to date, downloads the files that changed or are new and enables its start
# button.
#
# With a display ($DISPLAY) the launcher window opens there and the demo ends when you close it.
# Without one it runs on a private X server, waits until the page has come up and the update has
# finished, writes a screenshot and the launcher's log, closes the window through its close
# button and ends on its own. Everything it writes is under build/demo-output/.
#
# scripts/demo.sh --self-update also publishes launcher 1.0.4 on the patch server: the launcher
# (1.0.3) downloads it and hands over, the new one takes the name Launcher.exe, restarts, and then
# updates the game.
set -euo pipefail
cd "$(dirname "$0")/.."

self_update=false
case "${1:-}" in
  "") ;;
  --self-update) self_update=true ;;
  *) echo "usage: scripts/demo.sh [--self-update]" >&2; exit 2 ;;
esac

port=47611  # the port the demo launcher is built for (VELMORA_DEMO_PORT)
build=${VELMORA_DEMO_BUILD_DIR:-build/linux-release}
out=$PWD/build/demo-output
bin=$PWD/$build/bin
pids=()

say() { printf 'demo: %s\n' "$*"; }
fail() { printf 'demo: %s\n' "$*" >&2; exit 1; }

stop_all() {
  local pid exe
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
  # A launcher restarted by a self-update is no child of this script.
  [ -n "${install:-}" ] || return 0
  for exe in $(launcher_processes); do
    pid=${exe#/proc/}
    kill "${pid%/exe}" 2>/dev/null || true
  done
}
trap stop_all EXIT

build_programs() {
  scripts/setup.sh
  cmake --preset linux-release -B "$build" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target launcher_demo logview sampleclient publish
  if $self_update; then cmake --build "$build" -j "$(nproc)" --target launcher_demo_next; fi
}

# The launcher the demo publishes for the self-update: version 1.0.4, built for the same server.
publish_new_launcher() {
  "$bin/publish" --launcher "$bin/demo-1.0.4/Launcher.exe" 1.0.4 "$out/patch" \
    "https://localhost:$port/patch/" >/dev/null
  say "launcher 1.0.4 published: $out/patch/launcher_version.json"
}

# The patch server's folder: version 1.1 of the sample client, and a launcher version document
# naming this launcher's own version, so the launcher stays as it is. The install folder holds
# version 1.0, so the launcher brings it up to date: changed and new files come down, the others
# stay as they are.
prepare_patch_tree() {
  rm -rf "$out"
  mkdir -p "$out/client-1.0" "$out/client-1.1" "$out/install" "$out/config"
  mkdir -m 700 "$out/runtime"
  "$bin/sampleclient" demo 1 "$out/client-1.0" >/dev/null
  "$bin/sampleclient" demo 2 "$out/client-1.1" >/dev/null
  "$bin/publish" --quiet "$out/client-1.1" 1.1 "$out/patch"
  if $self_update; then
    publish_new_launcher
  else
    printf '{"version":"1.0.3"}\n' > "$out/patch/launcher_version.json"
  fi
  cp -R "$out/client-1.0/." "$out/install/"
  printf '1.0' > "$out/install/local_version.txt"
  cp "$bin/demo/Launcher.exe" "$out/install/Launcher.exe"
  install=$(realpath "$out/install")
}

# Whether the launcher runs: the process the demo started or, after a self-update, a launcher
# from the install folder that the new launcher started.
launcher_running() {
  kill -0 "$launcher" 2>/dev/null || [ -n "$(launcher_processes)" ]
}

# /proc/<pid>/exe of every process running a launcher from the install folder.
launcher_processes() {
  find /proc/[0-9]*/exe -maxdepth 0 -lname "$install/Launcher*" 2>/dev/null || true
}

# nginx, as a process of this script (scripts/web-server.sh), with the studio's patch-tree
# configuration; its access log names every request and the connection that carried it.
start_web_server() {
  scripts/web-server.sh --run "$out/web-server" --tree "$out/patch" --port "$port" \
    --certificates "$PWD/$build/test-ca" > "$out/web-server.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    curl -sf --cacert "$PWD/$build/test-ca/ca.pem" -o /dev/null \
      "https://localhost:$port/patch/version.json" && return 0
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  cat "$out/web-server.out" "$out/web-server/error.log" >&2 2>/dev/null || true
  fail "the demo's web server could not listen on 127.0.0.1:$port; stop whatever uses that" \
       "port (ss -ltnp 'sport = :$port' shows it) and run the demo again"
}

# The launcher's log, as the log viewer prints it, into launcher.log.
start_log_viewer() {
  "$bin/logview" > "$out/launcher.log" 2> "$out/logview.err" &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q "listening" "$out/logview.err" && return 0
    sleep 0.05
  done
  fail "the log viewer did not start: $(cat "$out/logview.err")"
}

start_launcher() {
  (cd "$out/install" && exec ./Launcher.exe) > "$out/launcher.out" 2>&1 &
  launcher=$!
  pids+=("$launcher")
}

# Waits up to $2 seconds for a log line holding $1.
wait_for_log() {
  for _ in $(seq "$(($2 * 10))"); do
    grep -qF "$1" "$out/launcher.log" && return 0
    launcher_running || return 1
    sleep 0.1
  done
  return 1
}

# Takes the window's picture into $1 once the page has drawn itself: a window that has not painted
# yet is one flat colour, the page has thousands. Fails after $2 seconds of flat pictures.
take_painted_screenshot() {
  local colours=0
  for _ in $(seq "$(($2 * 4))"); do
    import -window root -crop 800x600+560+240 +repage "$1"
    colours=$(identify -format '%k' "$1" 2>/dev/null || echo 0)
    [ "$colours" -gt 64 ] && return 0
    sleep 0.25
  done
  fail "the launcher window never showed its page ($colours colours after $2 s); see $1 and" \
       "$out/launcher.out"
}

run_with_display() {
  say "the launcher window is open on $DISPLAY; close it to end the demo"
  say "its log: $out/launcher.log"
  wait "$launcher" || true
  while launcher_running; do sleep 0.5; done  # the restarted launcher after a self-update
}

run_headless() {
  local screen_log=$out/xvfb.log
  exec 3> "$out/display"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 2> "$screen_log" &
  pids+=($!)
  exec 3>&-
  for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.05; done
  [ -s "$out/display" ] || fail "Xvfb did not start: $(cat "$screen_log")"
  export DISPLAY=":$(tr -d '\n' < "$out/display")"
  start_log_viewer
  start_launcher
  say "no display: running on a private X server ($DISPLAY)"

  wait_for_log "GetResolutions called" 60 || fail "the page did not start; see $out/launcher.out"
  if $self_update; then
    wait_for_log "Rename successful, restarting as Launcher.exe" 120 ||
      fail "the launcher did not replace itself; see $out/launcher.log"
    say "the launcher replaced itself with version 1.0.4 and restarted"
  fi
  if wait_for_log "Ready to play" 120 || wait_for_log "Game is up to date" 1; then
    sleep 1  # the page's next poll shows it; the panel stays 1.5 s longer
  else
    say "the update did not finish; the screenshot shows where it stands"
  fi
  take_painted_screenshot "$out/launcher.png" 30
  xdotool mousemove 1332 256 click 1  # the close button of the page's title bar
  for _ in $(seq 100); do launcher_running || break; sleep 0.1; done
  say "screenshot: $out/launcher.png"
  say "launcher log: $out/launcher.log"
  say "installed game client: $out/install"
  sed -n 's/.*Launcher update available: \(.*\)/demo: launcher \1/p' "$out/launcher.log"
  sed -n 's/.*\(Need to update [0-9]* files, total size: [0-9]* bytes\).*/demo: 1.0 -> 1.1: \1/p' \
    "$out/launcher.log"
}

build_programs
prepare_patch_tree
start_web_server
say "patch server: nginx at https://localhost:$port/patch/ serving $out/patch"
say "its requests: $out/web-server/access.log"
# The demo's settings, log socket and browser runtime files stay in its own folder.
export XDG_CONFIG_HOME=$out/config XDG_RUNTIME_DIR=$out/runtime
if [ -n "${DISPLAY:-}" ]; then
  start_log_viewer
  start_launcher
  run_with_display
else
  run_headless
fi
