#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the Windows binaries (32- and 64-bit) and
# the native build, runs the unit, integration and Wine suites, then the sanitizer builds, then
# each fuzz target for a bounded time.
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

# Fuzzing: the fuzz preset (clang, libFuzzer, address and undefined-behaviour sanitizers) replays
# the seed corpora, then runs each target for 30 s (the corpora replay in every build above too).
build fuzz
ctest --preset fuzz -j "$jobs"
bash scripts/fuzz.sh 30
