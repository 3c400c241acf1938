#!/bin/sh
# Fails unless the toolchain parts linked into the program are those listed,
# each with its notice:  check-notices.sh MAP LIST NOTICES [HEADERS]
# MAP is the linker's map of the program; LIST (linked-libraries.txt) names
# each part and the heading of its section in NOTICES. Each folder in HEADERS
# holds a header-only library compiled into the program, a part named as the
# folder with a slash. What each side holds is left beside the map, as
# MAP.linked and MAP.noticed.
set -eu
map=$1 list=$2 notices=$3 headers=${4:-}

# What the map shows the linker took from the toolchain, without folders: the
# members it pulled from archives and the object files it loaded. The
# project's own inputs are named relative to the build folder, the
# toolchain's by absolute path. A member counts as its archive when the list
# names the archive and not the member.
awk '{ sub(/\r$/, "") }
  FILENAME == ARGV[1] { if (!/^#/ && NF) listed[$1] = 1; next }
  /^Archive member included/ { members = 1; next }
  /^(Allocating common symbols|Discarded input sections)/ { members = 0 }
  (members && /^\//) || /^LOAD \/.*\.o$/ {
    name = /^LOAD/ ? $2 : $0
    sub(/\).*/, ")", name); sub(/^[^(]*\//, "", name)
    archive = name; sub(/\(.*/, "", archive)
    if (!(name in listed) && (archive in listed)) name = archive
    print name
  }' "$list" "$map" >"$map.linked"
if [ -n "$headers" ] && [ -d "$headers" ]; then
  for library in "$headers"/*/; do
    [ -d "$library" ] && basename "$library" | sed 's,$,/,' >>"$map.linked"
  done
fi
LC_ALL=C sort -u -o "$map.linked" "$map.linked"

# The listed parts whose section heading is in NOTICES.
awk '{ sub(/\r$/, "") }
  FILENAME == ARGV[1] { heading[$0] = 1; next }
  !/^#/ && NF { title = $0; sub(/^[^ \t]+[ \t]+/, "", title)
                if (title in heading) print $1 }' \
  "$notices" "$list" | LC_ALL=C sort -u >"$map.noticed"

if ! diff -u --label "listed, with a notice" --label "linked" \
       "$map.noticed" "$map.linked" >&2; then
  echo "The toolchain parts linked into the program differ from $list:" \
       "+ is linked without a notice (no line there, or its heading is" \
       "missing from $notices), - is listed but no longer linked." >&2
  exit 1
fi
