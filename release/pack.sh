#!/bin/sh
# Packs the release archive and writes SHA256SUMS beside it:
#   pack.sh ZIP PROGRAM README LICENCE NOTICES STAGING_FOLDER ARCHIVE
# The same inputs give the same bytes: the entries go in a fixed order with
# fixed permissions and the time stamp 1980-01-01 00:00, the earliest a zip
# holds, and with no extra fields (zip -X: no owner, no access time).
set -eu
zip=$1 program=$2 readme=$3 licence=$4 notices=$5 staging=$6 archive=$7

rm -rf "$staging" "$archive"
mkdir -p "$staging" "$(dirname "$archive")"
cp "$program" "$staging/KestruneBrakeTweaker.exe"
# Windows line ends, whatever the checkout has.
sed 's/\r*$/\r/' "$readme" >"$staging/README.txt"
sed 's/\r*$/\r/' "$licence" >"$staging/LICENSE.txt"
sed 's/\r*$/\r/' "$notices" >"$staging/THIRD-PARTY-NOTICES.txt"
chmod 755 "$staging/KestruneBrakeTweaker.exe"
chmod 644 "$staging/README.txt" "$staging/LICENSE.txt" \
  "$staging/THIRD-PARTY-NOTICES.txt"
touch -d 1980-01-01T00:00:00Z "$staging"/*

# zip stores local time, and takes options from these variables.
unset ZIP ZIPOPT
(cd "$staging" &&
  TZ=UTC0 "$zip" -q -X -9 "$archive" KestruneBrakeTweaker.exe README.txt \
    LICENSE.txt THIRD-PARTY-NOTICES.txt)
rm -rf "$staging"
cd "$(dirname "$archive")"
sha256sum "$(basename "$archive")" >SHA256SUMS
