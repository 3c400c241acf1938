#!/bin/sh
# Builds the fuzz targets with clang as libFuzzer programs (AddressSanitizer
# and UBSan, engine instrumented) and runs each for SECONDS, two at a time,
# starting from the committed corpus. New interesting inputs go to a
# temporary folder, never to the committed corpus; findings are kept and
# their folder printed.
#
# Usage: tests/fuzz/run-fuzzers.sh [SECONDS]   (default 20, per target)
# FUZZ_BUILD_DIR chooses the build folder (default /tmp/kestrune-fuzz-build).
set -eu
seconds=${1:-20}
here=$(cd "$(dirname "$0")" && pwd)
build=${FUZZ_BUILD_DIR:-/tmp/kestrune-fuzz-build}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DFUZZ_WITH_LIBFUZZER=ON >/dev/null
cmake --build "$build" >/dev/null

work=$(mktemp -d /tmp/kestrune-fuzz.XXXXXX)

# Runs one target; its summary goes to $work/<target>/summary.txt.
run_target() {
  target=$1
  mkdir -p "$work/$target/new" "$work/$target/findings"
  log="$work/$target/log.txt"
  # The first folder receives the new inputs; the corpus is only read.
  status=0
  started=$(date +%s)
  "$build/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$work/$target/findings/" \
    "$work/$target/new" "$here/corpus/$target" >"$log" 2>&1 || status=$?
  elapsed=$(($(date +%s) - started))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  findings=$(find "$work/$target/findings" -type f | wc -l)
  if [ "$status" -ne 0 ] && [ "$findings" -eq 0 ]; then findings=1; fi
  new=$(find "$work/$target/new" -type f | wc -l)
  {
    echo "$target: ${executions:-0} executions in $elapsed s," \
         "$findings findings, $new new inputs"
    if [ "$findings" -ne 0 ]; then
      grep -E 'FAILED|ERROR|SUMMARY|runtime error' "$log" | head -20 || true
    fi
  } >"$work/$target/summary.txt"
  echo "$findings" >"$work/$target/findings.count"
}

# Two targets at a time, one a processor.
targets="stream brake state libraries launchers"
set -- $targets
while [ $# -gt 0 ]; do
  run_target "$1" &
  [ $# -gt 1 ] && run_target "$2" &
  wait
  shift $(($# > 1 ? 2 : 1))
done

total_findings=0
for target in $targets; do
  cat "$work/$target/summary.txt"
  total_findings=$((total_findings + $(cat "$work/$target/findings.count")))
done

if [ "$total_findings" -ne 0 ]; then
  echo "findings, logs and new inputs kept in $work"
  exit 1
fi
rm -rf "$work"
