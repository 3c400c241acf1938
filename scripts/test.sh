#!/bin/sh
# Installs what is missing, then builds and runs every test: natively (with
# the fault injection and crash tests), natively with AddressSanitizer and
# UndefinedBehaviorSanitizer, as Windows programs under Wine (with the dialog's
# end-to-end test), the release built twice and compared, and a short
# libFuzzer run of each fuzz target.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --workflow --preset linux
cmake --workflow --preset asan
cmake --workflow --preset windows

# Reproducible release: the archive the Windows build made (whose program the
# end-to-end test ran) must be the same bytes as the release command's
# archive built from a copy of the sources, in other folders.
copy=$(pwd)/build/release-copy
rm -rf "$copy" && mkdir -p "$copy"
tar -c --exclude=./build --exclude=./dist --exclude=./.git . | tar -x -C "$copy"
(cd "$copy" && cmake --workflow --preset release >/dev/null)
if ! cmp build/windows/ui/KestruneBrakeTweaker.exe \
         "$copy/build/release/ui/KestruneBrakeTweaker.exe" ||
   ! (cd build/windows/dist && sha256sum -c "$copy/dist/SHA256SUMS"); then
  echo "The release differs between two builds of the same sources" >&2
  exit 1
fi

FUZZ_BUILD_DIR=$(pwd)/build/fuzz tests/fuzz/run-fuzzers.sh "${FUZZ_SECONDS:-20}"
