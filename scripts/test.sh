#!/usr/bin/env bash
# Sets everything up and runs every test: the format and lint check first, then Linux
# (AddressSanitizer + UndefinedBehaviorSanitizer, ThreadSanitizer for the update engine, the fuzz
# targets briefly), the page in headless Chromium, the optimised build running the demo, the
# Windows product build and the Windows layer under wine64. Every stage runs even when an earlier
# one failed; the exit code says whether all passed.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

jobs=$(nproc)
failed=()
stage() {
  local name=$1; shift
  echo
  echo "=== $name"
  local start=$SECONDS
  if "$@"; then
    echo "=== $name: passed in $((SECONDS - start)) s"
  else
    echo "=== $name: FAILED after $((SECONDS - start)) s"
    failed+=("$name")
  fi
}
build_and_test() {
  local preset=$1
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j "$jobs" &&
    ctest --preset "$preset" -j "$jobs"
}
page_tests() {
  (cd tests/page && npm test)
}
build_only() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}
# The README's first command without a display: the optimised build (everything, benchmarks
# included, so optimiser-only warnings fail here too), then the demo must bring the installed
# client up to date and the launcher must close through its close button.
demo_runs() {
  local log=build/demo-output/launcher.log
  build_only linux-release && env -u DISPLAY scripts/demo.sh &&
    grep -q "Update complete! Ready to play" "$log" && grep -q "Launcher exit" "$log"
}

stage "Format and lint (clang-format, clang-tidy)" scripts/lint.sh
stage "Linux tests (ASan, UBSan)" build_and_test linux
stage "Update engine (ThreadSanitizer)" build_and_test linux-tsan
stage "Fuzz targets (brief runs)" build_and_test fuzz
stage "Launcher page (headless Chromium)" page_tests
stage "Optimised build and the demo" demo_runs
stage "Windows product build (i686)" build_only windows
stage "Windows layer tests (wine64)" build_and_test windows-test

echo
if [ "${#failed[@]}" -gt 0 ]; then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "All test stages passed."
