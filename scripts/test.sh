#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the Windows binaries (32- and 64-bit) and
# the native build, runs the unit, integration and Wine suites, then the sanitizer builds.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test

jobs=$(nproc)
build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

build windows-x86
build windows-x64
build linux
ctest --preset linux -j "$jobs"

# Sanitizer builds run the unit and integration suites (the Wine stage proves the Windows
# binaries, which the sanitizers do not see).
for preset in linux-asan linux-tsan; do
  build "$preset"
  ctest --preset "$preset" -j "$jobs" -LE wine
done
