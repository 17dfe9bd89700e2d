#!/usr/bin/env bash
# Installs every Debian and npm package that the build, the tests, the benchmarks and the demo
# need on a fresh Debian 12 machine. Safe to run again: apt and npm skip what is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  # native build and analysis
  build-essential cmake ninja-build pkg-config git clang libclang-rt-14-dev clang-format clang-tidy
  # Windows cross build and its test host
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 xvfb xauth x11-utils xdotool imagemagick
  # libraries of the Linux launcher
  libwebkit2gtk-4.1-dev libgtk-3-dev libxrandr-dev libcurl4-openssl-dev
  nlohmann-json3-dev libxxhash-dev libcpp-httplib-dev libssl-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev xxhash curl aria2 time python3
  # the web server of the HTTPS tests, the benchmarks and the demo (run by scripts/web-server.sh
  # as a process of the project, never as the system's service), its test certificates and the
  # tests' signature vectors
  nginx openssl
  # page tests
  chromium nodejs npm
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do
  # A machine that already has Node.js with npm (from any source) keeps it.
  case "$p" in nodejs | npm) command -v node >/dev/null && command -v npm >/dev/null && continue ;; esac
  installed "$p" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_if_needed apt-get update -q
  sudo_if_needed env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# playwright-core drives Debian's chromium; it never downloads a browser of its own.
if [ -f tests/page/package-lock.json ] && [ ! -d tests/page/node_modules/playwright-core ]; then
  (cd tests/page && npm ci --no-audit --no-fund --loglevel=error)
fi
