#!/usr/bin/env bash
# The format and lint check, run first by scripts/test.sh: every C++ file of the repository laid
# out as .clang-format says, and the launcher's own Linux code (everything but tests, benchmarks
# and fuzz targets) free of the clang-tidy findings that .clang-tidy lists. The Windows back end
# is checked by the warnings of its two builds; clang-tidy has no mingw headers here.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "clang-format: $(git ls-files '*.cpp' '*.h' | wc -l) files"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

cmake --preset lint >/dev/null
mapfile -t sources < <(git ls-files '*.cpp' | grep -Ev '^(tests|bench|fuzz)/|/win32/|_win32\.cpp$')
echo "clang-tidy: ${#sources[@]} files"
run-clang-tidy -p build/lint -quiet -j "$(nproc)" "${sources[@]/#/$PWD/}" > build/lint/clang-tidy.log 2>&1 ||
  { grep -E 'error:|warning:' -A3 build/lint/clang-tidy.log; echo "clang-tidy found problems"; exit 1; }
echo "clang-tidy: no findings"
