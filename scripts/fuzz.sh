#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset for a bounded time, one after the other, and fails
# when an input broke a target (a crash, a leak, a sanitizer report, a broken property).
# Usage: scripts/fuzz.sh [SECONDS_EACH] [TARGET...]   (default 30 s, every target)
# Build first: cmake --preset fuzz && cmake --build --preset fuzz
# Each target starts from its seed corpus (tests/fuzz/corpus/<target>, never written) and keeps
# what it learns in build/fuzz/corpus/<target>, so a later run goes on from there. An input that
# breaks a target is written to build/fuzz/crashes/ and the command that replays it is printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
bin=build/fuzz/bin
if [ ! -d "$bin" ]; then
  echo "fuzz: no fuzz build; run: cmake --preset fuzz && cmake --build --preset fuzz" >&2
  exit 1
fi
if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for seeds in tests/fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi

mkdir -p build/fuzz/crashes
status=0
for t in "${targets[@]}"; do
  program=$bin/fuzz_$t
  work=build/fuzz/corpus/$t
  log=build/fuzz/fuzz_$t.log
  mkdir -p "$work"
  if "$program" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix=build/fuzz/crashes/"$t"- "$work" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    corpus=$(find "$work" -type f | wc -l)
    echo "fuzz: $t: ${runs:-?} executions in ${seconds} s, nothing broke (corpus $corpus inputs)"
  else
    echo "fuzz: $t: BROKEN; the end of $log:" >&2
    tail -n 40 "$log" >&2
    for crash in build/fuzz/crashes/"$t"-*; do
      [ -e "$crash" ] && echo "fuzz: replay with: $program $crash" >&2
    done
    status=1
  fi
done
exit $status
