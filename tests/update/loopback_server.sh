#!/bin/sh
# The loopback server of the engine tests and update scenarios under wine: bin/patchserver built
# for this machine, answering the tests' requests, in a session of its own from start to stop.
#
#   loopback_server.sh start <patchserver> <folder>   serves <folder>/tree and writes
#                                                      "<port> <tree folder>" to <folder>/address
#   loopback_server.sh stop <folder>                  ends that server and removes <folder>
set -eu

stop() {
  if [ -f "$1/pid" ]; then kill "$(cat "$1/pid")" 2>/dev/null || true; fi
  rm -rf "$1"
}

case "${1:-}" in
start)
  stop "$3"
  mkdir -p "$3/tree"
  setsid "$2" --root "$3/tree" --port 0 --test-requests </dev/null >"$3/log" 2>&1 &
  echo $! >"$3/pid"
  for _ in $(seq 200); do
    port=$(sed -n 's|^patchserver: serving .* at http://127\.0\.0\.1:\([0-9]*\)/patch/$|\1|p' "$3/log")
    if [ -n "$port" ]; then
      echo "$port $3/tree" >"$3/address"
      exit 0
    fi
    sleep 0.05
  done
  echo "the loopback server did not start:" >&2
  cat "$3/log" >&2
  exit 1
  ;;
stop) stop "$2" ;;
*)
  echo "usage: $0 start <patchserver> <folder> | stop <folder>" >&2
  exit 2
  ;;
esac
