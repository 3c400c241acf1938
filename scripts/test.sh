#!/bin/sh
# Installs what is missing, then builds and runs every test: natively (with
# the fault injection and crash tests), natively with AddressSanitizer and
# UndefinedBehaviorSanitizer, as Windows programs under Wine (with the dialog's
# end-to-end test), the release built again from a copy and compared, and a
# short libFuzzer run of each fuzz target. Each step's time is printed.
#
# The Windows programs are built first. Their tests run under Wine while the
# rest is built and tested, at a lower priority, so that the dialog under test
# gets the processor whenever it asks for it. Their output follows at the end.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
began=$(date +%s)

# Runs a command as a named step and prints how long it took.
step() {
  name=$1
  shift
  started=$(date +%s)
  "$@"
  echo "test.sh: $name took $(($(date +%s) - started)) s"
}

step "set-up" scripts/setup.sh

cmake --preset windows >/dev/null
step "Windows build" cmake --build --preset windows

windows_log=$root/build/windows/test-log.txt
rm -f "$windows_log.status"
# In a session of its own, so that all of it can be ended at once.
setsid sh -c 'started=$(date +%s)
  ctest --preset windows >"$1" 2>&1
  status=$?
  echo "test.sh: Windows tests took $(($(date +%s) - started)) s" >>"$1"
  echo $status >"$1.status"' windows-tests "$windows_log" </dev/null >/dev/null 2>&1 &
windows_tests=$!
trap 'kill -TERM -- -$windows_tests 2>/dev/null || true' EXIT

step "native build and tests" nice -n 10 cmake --workflow --preset linux
step "sanitizer build and tests" nice -n 10 cmake --workflow --preset asan

# Reproducible release: the archive the Windows build made (whose program the
# end-to-end test runs) must be the same bytes as the release command's
# archive built from a copy of the sources, in other folders.
copy=$root/build/release-copy
rm -rf "$copy" && mkdir -p "$copy"
tar -c --exclude=./build --exclude=./dist --exclude=./.git . | tar -x -C "$copy"
step "release from a copy" sh -c \
  'cd "$1" && nice -n 10 cmake --workflow --preset release >/dev/null' release-copy "$copy"
if ! cmp build/windows/ui/KestruneBrakeTweaker.exe \
         "$copy/build/release/ui/KestruneBrakeTweaker.exe" ||
   ! (cd build/windows/dist && sha256sum -c "$copy/dist/SHA256SUMS"); then
  echo "The release differs between two builds of the same sources" >&2
  exit 1
fi

step "fuzzers" env FUZZ_BUILD_DIR="$root/build/fuzz" nice -n 10 \
  tests/fuzz/run-fuzzers.sh "${FUZZ_SECONDS:-20}"

step "waiting for the Windows tests" wait "$windows_tests" || true
trap - EXIT
echo "Windows tests under Wine:"
cat "$windows_log"
echo "test.sh: all took $(($(date +%s) - began)) s"
[ "$(cat "$windows_log.status" 2>/dev/null)" = 0 ]
