#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into corpus/stream,
corpus/brake, corpus/state, corpus/libraries and corpus/launchers. The first
byte of every stream, brake and state input picks the level (0 to 4 for the
stream and the state, 0 to 3 for the brake field); the rest is the stream or
the field. For the state, two bytes follow the level: the length of the data
file (little-endian), whose bytes come next; the rest is the backup. A
libraries input is a whole library list, a launchers input a whole record."""

import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
BRAKE = 278  # 0-based column of the brake field

random.seed(278)


def write(kind, name, level, body):
    folder = os.path.join(HERE, "corpus", kind)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes([level]) + body)


def record(brake, fields=300, end=b"\r\n"):
    """One record of `fields` fields with `brake` at the brake column."""
    cells = []
    for column in range(fields):
        if column == BRAKE:
            cells.append(brake)
        elif column % 7 == 0:
            cells.append(b"part_%d" % random.randrange(1000))
        else:
            cells.append(b"%d.%d" % (random.randrange(-5000, 15000),
                                     random.randrange(1000)))
    return b",".join(cells) + end


header = b",".join(b"col%d" % c for c in range(300)) + b"\r\n"
car = header + b"".join(record(b"%d.%d5" % (n, n % 8)) for n in range(1, 4))

# Whole car files at every level.
for level in range(5):
    write("stream", "car-file-level%d" % level, level, car)

write("stream", "exactly-279-fields", 2, record(b"12.5", fields=279))
write("stream", "279-fields-no-record-end", 1, record(b"8", fields=279, end=b""))
write("stream", "278-fields-no-brake", 2, record(b"", fields=278))
write("stream", "cr-only-records", 3,
      record(b"1.5", end=b"\r") + record(b"-2", end=b"\r"))
write("stream", "lf-only-one-long-record", 2,
      record(b"4", end=b"\n") + record(b"6", end=b"\n"))
write("stream", "lf-cr-and-cr-cr", 2,
      record(b"3.5", end=b"\n\r") + record(b"7", end=b"\r\r") + b"\r\n")
write("stream", "nuls-everywhere", 2,
      record(b"1\x002.\x005") .replace(b",", b",\x00", 40) + b"\x00\x00")
write("stream", "lf-inside-brake", 2, record(b"12\n.\n5"))
write("stream", "brake-1023-bytes", 2, record(b"1" + b"0" * 1022))
write("stream", "brake-1024-bytes", 2, record(b"1" + b"0" * 1023))
write("stream", "brake-1023-bytes-and-nuls", 1,
      record(b"5" * 1023 + b"\x00" * 10))
write("stream", "brake-2000-bytes-untouched", 4, record(b"9" * 2000))
write("stream", "brake-too-long-second-record", 2,
      record(b"2.5") + record(b"-" + b"3" * 1100))
write("stream", "long-plain-field", 2,
      record(b"7.25").replace(b"part_", b"x" * 5000 + b"part_", 1))
write("stream", "empty", 2, b"")
write("stream", "only-commas", 1, b"," * 300)
write("stream", "only-line-ends", 3, b"\r\n\r\n\n\r\r")
write("stream", "binary-garbage", 2,
      bytes(random.randrange(256) for _ in range(3000)))
for number in [b"1e400", b"-1e-400", b".5", b"5.", b"0x10", b"inf", b"nan",
               b" \t12.5", b"+8", b"-0", b"1.5.5", b"abc"]:
    safe = number.strip().replace(b".", b"p").replace(b"+", b"plus")
    write("stream", "brake-" + safe.decode(), 2, record(number))
# Records across the 64 KiB read blocks, one brake field cut by a block end.
many = header
while len(many) < 60000:
    many += record(b"%d.%d" % (random.randrange(100), random.randrange(1000)))
cut = record(b"77.125")
start = cut.index(b"77.125")
many += b"x" * (65536 - 3 - len(many) - start) + cut
while len(many) < 70000:
    many += record(b"%d.%d" % (random.randrange(100), random.randrange(1000)))
write("stream", "block-boundaries", 2, many)
# Control bytes other than CR, LF and NUL are field text.
write("stream", "tabs-and-control-bytes", 2,
      record(b"\t3.5\x0b").replace(b"part_", b"\tpart\x01\x0c_"))

brakes = [
    b"12.5", b"0", b"-0", b"+8", b"-8", b" \t\v\f\r\n12.5", b".5", b"5.",
    b"-.5e-3", b"1e2", b"1E+2x", b"2.5e-1", b"1e", b"1e+", b"1.5.5", b"007",
    b"0.0625", b"0.0025", b"2.0009", b"9007199254740993",
    b"1.00000000000000011102230246251565404236316680908203126",
    b"1e400", b"-1e999999999999999999999", b"100000e305", b"0.0001e-320",
    b"4e-320", b"1.7976931348623157e308", b"1.7976931348623159e308",
    b"0." + b"0" * 399 + b"1e400", b"1" + b"0" * 400 + b"e-400",
    b"0x10", b"0X1p4", b"inf", b"-infinity", b"nan", b"NAN(1)",
    b"", b".", b"-", b"abc", b"--5", b"12\x005", b"\xa012.5",
]
for index, text in enumerate(brakes):
    write("brake", "number-%02d" % index, index % 4, text)


def state(name, level, data, backup):
    """A data file and its backup."""
    write("state", name, level, len(data).to_bytes(2, "little") + data + backup)


def patched(body, level):
    """The patch of `body` at `level` 0 to 3, as the engine writes it."""
    out = []
    for line in body.split(b"\r\n")[:-1]:
        cells = line.split(b",")
        if len(cells) > BRAKE:
            try:
                value = float(cells[BRAKE])
            except ValueError:
                value = 0.0
            cells[BRAKE] = b"%.3f" % (value * level * 0.25)
        out.append(b",".join(cells))
    return b"\r\n".join(out) + b"\r\n\r\n\r\n"


small = header + b"".join(record(b"%d.5" % n) for n in range(1, 4))
tweaked = patched(small, 2)
lines = tweaked.split(b"\r\n")
state("tweaked", 2, tweaked, small)
state("tweaked-records-moved", 2, b"\r\n".join([lines[0], lines[3], lines[1], lines[2]] + lines[4:]), small)
state("tweaked-record-removed", 1, b"\r\n".join(lines[:2] + lines[3:]), small)
state("game-update", 3, header + b"".join(record(b"%d.25" % n) for n in range(5, 9)), small)
state("numbers-rewritten", 2, small.replace(b".5,", b".50,"), small)
state("empty-data", 0, b"", small)
state("empty-backup", 4, small, b"")
state("lf-records", 2, tweaked.replace(b"\r\n", b"\n"), small)
# Records alike but for the brake, tweaked, then one removed or all moved.
alike = b"".join(b"," * BRAKE + b"%d.5" % n + b"," * 21 + b"\r\n" for n in range(1, 9))
alike_lines = patched(alike, 2).split(b"\r\n")
state("alike-tweaked-first-removed", 2, b"\r\n".join(alike_lines[1:]), alike)
state("alike-tweaked-records-moved", 2,
      b"\r\n".join(alike_lines[5:8] + alike_lines[:5] + alike_lines[8:]), alike)

# Steam's library lists: as written since 2021 and before, from Windows and
# Linux, and broken ones.
NEW_LIST = b"""\xef\xbb\xbf"libraryfolders"
{
\t"contentstatsid"\t\t"-5523418953526543312"
\t"0"
\t{
\t\t"path"\t\t"C:\\\\Program Files (x86)\\\\Steam"
\t\t"label"\t\t""
\t\t"contentid"\t\t"1842374829384729384"
\t\t"totalsize"\t\t"0"
\t\t"apps"
\t\t{
\t\t\t"228980"\t\t"191837286"
\t\t}
\t}
\t"1"
\t{
\t\t"path"\t\t"D:\\\\Spiele \\"schnell\\""
\t}
}
"""
LISTS = {
    "since-2021": NEW_LIST,
    "before-2021": b'"LibraryFolders" { "TimeNextStatsReport" "1577836800"'
                   b' "1" "E:\\\\Games\\\\Steam" "2" "F:\\\\\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b" }',
    "steam-deck": b'"libraryfolders" { "0" { "path" "/home/deck/.local/share/Steam" }'
                  b' "1" { "path" "/run/media/deck/SD card" } }',
    "bare-text-and-comments": b"// by hand\nlibraryfolders { 1 G:\\Bare 2 { path H:\\x } }",
    "cut-off-in-a-path": NEW_LIST[:NEW_LIST.index(b"Files")],
    "nested-deep": b'"libraryfolders" {' + b' "a" {' * 40 + b"}" * 41,
    "stray-braces": b'}{ "libraryfolders" { "1" "C:\\\\x" } } } "2" "y"',
    "bad-utf8-and-controls":
        b'"libraryfolders" { "1" "\xc0\xaf" "2" "a\\tb" "3" "\xed\xa0\x80" "4" "ok" }',
}
for name, body in LISTS.items():
    folder = os.path.join(HERE, "corpus", "libraries")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(body)

# The launchers' records of their installs: each launcher's own shape, and
# broken ones. Every input goes to every reader.
MANIFEST = (b'{"FormatVersion": 0, "bIsIncompleteInstall": false, '
            b'"LaunchExecutable": "Kestrune.exe", "AppName": "Osprey", '
            b'"InstallLocation": "D:\\\\Games\\\\Kestrune", "InstallTags": [], '
            b'"InstallSize": 8123456789}')
RECORDS = {
    "epic-manifest": MANIFEST,
    "epic-manifest-unfinished":
        b'{"bIsIncompleteInstall": true, "InstallLocation": "$InstallLocation$"}',
    "epic-list": b'{"InstallationList": [{"InstallLocation": "C:\\\\Epic\\\\K", '
                 b'"AppName": "Osprey"}, {"InstallLocation": 5}, {}]}',
    "legendary": b'{"Osprey": {"install_path": "/home/deck/Games/Heroic/Kestrune", '
                 b'"prereq_info": null, "base_urls": ["https://example.invalid/"]}, '
                 b'"Wren": {"install_path": "/home/deck/Games/pfx/drive_c/W\\u00e9n"}}',
    "heroic-gog": b'\xef\xbb\xbf{"installed": [{"platform": "windows", '
                  b'"install_path": "/run/media/mmcblk0p1/Kestrune", "is_dlc": false}]}',
    "cut-off": MANIFEST[:MANIFEST.index(b"Kestrune\"")],
    "escapes-and-controls": b'{"InstallLocation": "a\\u0000b\\td\\ud800\\"\\/\\\\e"}',
    "nested-deep": b'{"installed": [' + b'[' * 60 + b']' * 60 + b', {"install_path": "/k"}]}',
    "numbers-and-literals": b'{"installed": [1e999, -0.0, 18446744073709551616, true, '
                            b'null, "x"], "InstallationList": {}}',
}
for name, body in RECORDS.items():
    folder = os.path.join(HERE, "corpus", "launchers")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(body)
