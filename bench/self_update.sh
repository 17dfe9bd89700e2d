#!/usr/bin/env bash
# Time of the launcher's self-update hand-over: builds the optimised demo launcher (1.0.3) and its
# successor (1.0.4), serves a patch tree with the project's nginx on the demo's port and runs
# self_update_bench, 5 runs (or $1). It holds the demo's lock, so it never meets a running demo.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${VELMORA_DEMO_LOCK_HELD:-}" ]; then
  VELMORA_DEMO_LOCK_HELD=1 exec flock /tmp/velmora-demo.lock "$0" "$@"
fi
port=47611  # the port the demo launchers are built for (VELMORA_DEMO_PORT)
build=${VELMORA_BENCH_BUILD_DIR:-build/linux-release}
cmake --preset linux-release -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target self_update_bench launcher_demo launcher_demo_next

work=$(mktemp -d)
server=
stop() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap stop EXIT
mkdir -p "$work/patch"
printf '{"version":"1.0"}\n' > "$work/patch/version.json"
scripts/web-server.sh --run "$work/web" --tree "$work/patch" --port "$port" \
  --certificates "$PWD/$build/test-ca" > "$work/web-server.out" 2>&1 &
server=$!
for _ in $(seq 100); do
  curl -sf --cacert "$PWD/$build/test-ca/ca.pem" -o /dev/null \
    "https://localhost:$port/patch/version.json" && break
  sleep 0.1
done
"$build/bin/self_update_bench" "$build/bin/demo/Launcher.exe" "$build/bin/demo-1.0.4/Launcher.exe" \
  "$work/patch" "https://localhost:$port/patch/" "${1:-5}"
