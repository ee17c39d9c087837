#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the Windows binaries (32- and 64-bit) and
# the native build, runs the unit and integration suites, the Wine, installer and Polecheck
# dialog stages, then the sanitizer builds and their suites, then each fuzz target for a bounded
# time. Every stage runs even when an earlier one failed (a stage whose build failed fails by
# itself); at the end one line per stage says whether it passed and how long it took, and the
# command exits non-zero when any stage failed.
#
# The Wine stages run the 32-bit DLL natively where the kernel runs 32-bit programs and through
# qemu-i386 where it does not; KIRNOW_WINE32=native|qemu|none forces a route (tests/wine/
# wine-common.sh).
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
names=()
results=()
seconds=()
failed=0
skipped32=()  # Wine stages whose 32-bit halves did not run, and why

# stage NAME COMMAND...: runs the command as one stage and records its result and time.
stage() {
  local name=$1 start=$SECONDS rc
  shift
  echo "== $name"
  "$@"
  rc=$?
  names+=("$name")
  seconds+=($((SECONDS - start)))
  if [ $rc -eq 0 ]; then
    results+=(passed)
  else
    results+=("FAILED (exit $rc)")
    failed=$((failed + 1))
  fi
  echo "== $name: ${results[-1]} in ${seconds[-1]} s"
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

# One Wine test of the Linux build's ctest (wine, wine-msi, wine-polecheck); prints the way its
# 32-bit programs ran, which the test's own output says first.
wine_test() {
  local rc route log=build/linux/Testing/Temporary/LastTest.log
  ctest --preset linux -R "^$1\$"
  rc=$?
  route=$(grep -m 1 '^32-bit programs:' "$log" 2>/dev/null)
  [ -n "$route" ] && echo "$route"
  case $route in "32-bit programs: none"*) skipped32+=("$1: ${route#32-bit programs: }") ;; esac
  return $rc
}

stage "dependencies" bash scripts/install-deps.sh test
stage "build windows-x86" build windows-x86
stage "build windows-x64" build windows-x64
stage "build linux" build linux
stage "unit and integration" ctest --preset linux -j "$jobs" -LE wine
stage "Wine" wine_test wine
stage "installer" wine_test wine-msi
stage "Polecheck dialog under Wine" wine_test wine-polecheck

# Sanitizer builds run the unit and integration suites (the Wine stage proves the Windows
# binaries, which the sanitizers do not see).
for preset in linux-asan linux-tsan; do
  stage "build $preset" build "$preset"
  stage "$preset suites" ctest --preset "$preset" -j "$jobs" -LE wine
done

# Fuzzing: the fuzz preset (clang, libFuzzer, address and undefined-behaviour sanitizers) replays
# the seed corpora, then runs each target for 30 s (the corpora replay in every build above too).
stage "build fuzz" build fuzz
stage "fuzz seeds" ctest --preset fuzz -j "$jobs"
stage "fuzz 30 s each" bash scripts/fuzz.sh 30

echo
echo "Stages:"
for i in "${!names[@]}"; do
  printf '  %-32s %-18s %5d s\n' "${names[i]}" "${results[i]}" "${seconds[i]}"
done
for s in "${skipped32[@]}"; do echo "  32-bit halves skipped: $s"; done
echo "stages: $((${#names[@]} - failed)) passed, $failed failed"
[ $failed -eq 0 ]
