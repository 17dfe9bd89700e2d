#!/usr/bin/env bash
# Sets everything up and runs the launcher's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j "$(nproc)"
echo "Built into build/linux-release/bin."
