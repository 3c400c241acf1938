#!/bin/sh
# Installs what is missing, then builds and runs every test: natively (with
# the fault injection and crash tests), natively with AddressSanitizer and
# UndefinedBehaviorSanitizer, as Windows programs under Wine (with the dialog's
# end-to-end test), and a short libFuzzer run of each fuzz target.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --workflow --preset linux
cmake --workflow --preset asan
cmake --workflow --preset windows
FUZZ_BUILD_DIR=$(pwd)/build/fuzz tests/fuzz/run-fuzzers.sh "${FUZZ_SECONDS:-20}"
