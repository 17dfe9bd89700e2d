#!/usr/bin/env bash
# Start-up time of the Linux launcher: builds the optimised launcher and runs startup_bench
# against it, 10 runs (or $1) each on a fresh Xvfb display, and prints the medians.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VELMORA_BENCH_BUILD_DIR:-build/linux-release}
cmake --preset linux-release -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target startup_bench launcher_demo
exec "$build/bin/startup_bench" "$build/bin/demo/Launcher.exe" "${1:-10}"
