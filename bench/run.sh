#!/bin/sh
# Builds the benchmarks (Release) and runs them on files in a temporary folder
# under /tmp, removed afterwards: the patch benchmark (g++), which at 200 MB
# takes about two minutes, then, where MinGW-w64 and Wine are installed, the
# benchmark of the search for the game under Wine (about a minute, the first
# time with its Wine prefix).
#
# Usage: bench/run.sh [MEGABYTES] [RUNS]   (defaults 200 and 7)
# BENCH_BUILD_DIR chooses the build folder (default /tmp/kestrune-bench-build);
# the search benchmark builds in that folder's name with -windows added.
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
status=0
"$build/patch_bench" run "$work" "${1:-200}" "${2:-7}" || status=$?

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  cmake -S "$here" -B "$build-windows" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$build-windows" >/dev/null
  echo
  # Wine's drive Z: is Linux's root.
  "$here/../cmake/wine-run" "$build-windows/wineprefix" "$build-windows/search_bench.exe" \
    "$(printf 'Z:%s\\search' "$work" | tr / '\\')" 7 || status=$?
fi
exit $status
