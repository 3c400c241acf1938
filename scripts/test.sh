#!/bin/sh
# Installs what is missing, then builds and runs every test: natively, natively
# with AddressSanitizer and UndefinedBehaviorSanitizer, and as Windows programs
# under Wine.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --workflow --preset linux
cmake --workflow --preset asan
cmake --workflow --preset windows
