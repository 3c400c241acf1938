#!/bin/sh
# Builds the benchmark (g++, Release) and runs it on files in a temporary
# folder under /tmp, removed afterwards; at 200 MB it takes about two minutes.
#
# Usage: bench/run.sh [MEGABYTES] [RUNS]   (defaults 200 and 7)
# BENCH_BUILD_DIR chooses the build folder (default /tmp/kestrune-bench-build).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${BENCH_BUILD_DIR:-/tmp/kestrune-bench-build}
for tool in cp mawk gawk; do
  command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" >/dev/null

work=$(mktemp -d /tmp/kestrune-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
"$build/patch_bench" run "$work" "${1:-200}" "${2:-7}"
