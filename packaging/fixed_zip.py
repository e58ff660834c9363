#!/usr/bin/env python3
"""Writes a ZIP that cpack made again, so that its bytes follow from its files alone: whoever
packs one commit, in whatever folder and at whatever time, gets the same ZIP, and its checksum
can be compared with a published one.

Each entry gets
  - one time: SOURCE_DATE_EPOCH when it is set, else the time of the source tree's commit, else
    (a tree with no Git, such as an unpacked source ZIP) the time of its top CMakeLists.txt,
    which unpacking gave that file from the ZIP;
  - its place in the order of the names;
  - 0755 when its owner could run it or it is a folder, 0644 otherwise: never the packer's umask,
    user or group.

Usage: fixed_zip.py SOURCE_DIR ZIP...
"""

import os
import stat
import struct
import subprocess
import sys
import time
import zipfile

# The earliest time a ZIP entry can hold (MS-DOS dates start in 1980), and the latest that its
# extended time field can (a signed 32-bit count of seconds).
EARLIEST = 315532800
LATEST = 2**31 - 1
# The extra field "UT" with the modification time alone: unzip restores that time to the second,
# whatever the time zone of the machine that unpacks it.
EXTENDED_TIME = 0x5455
UNIX = 3
MSDOS_FOLDER = 0x10


def source_time(source_dir):
    """The time of every entry, in seconds since 1970, and where it comes from."""
    given = os.environ.get("SOURCE_DATE_EPOCH", "").strip()
    if given:
        if not given.isdigit():
            sys.exit("SOURCE_DATE_EPOCH is %r, not a count of seconds since 1970" % given)
        return int(given), "SOURCE_DATE_EPOCH"
    try:
        commit = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                                capture_output=True, text=True, check=True).stdout.strip()
        return int(commit), "the commit's time"
    except (OSError, subprocess.CalledProcessError, ValueError):
        return int(os.path.getmtime(os.path.join(source_dir, "CMakeLists.txt"))), \
            "the time of CMakeLists.txt"


def fixed_entry(name, mode, seconds):
    info = zipfile.ZipInfo(name, time.gmtime(seconds)[:6])
    info.create_system = UNIX
    folder = name.endswith("/")
    runs = folder or mode & stat.S_IXUSR
    kind = stat.S_IFDIR if folder else stat.S_IFREG
    info.external_attr = (kind | (0o755 if runs else 0o644)) << 16 | (MSDOS_FOLDER if folder else 0)
    info.compress_type = zipfile.ZIP_STORED if folder else zipfile.ZIP_DEFLATED
    info.extra = struct.pack("<HHBl", EXTENDED_TIME, 5, 1, seconds)
    return info


def rewrite(path, seconds):
    with zipfile.ZipFile(path) as made:
        entries = sorted((info.filename, info.external_attr >> 16, made.read(info))
                         for info in made.infolist())
    fixed = path + ".fixed"
    with zipfile.ZipFile(fixed, "w") as out:
        for name, mode, data in entries:
            out.writestr(fixed_entry(name, mode, seconds), data, compresslevel=9)
    os.replace(fixed, path)


def main(source_dir, *paths):
    seconds, origin = source_time(source_dir)
    seconds = min(max(seconds, EARLIEST), LATEST)
    for path in paths:
        rewrite(path, seconds)
        print("%s: every entry dated %s UTC (%s)" % (
            os.path.basename(path), time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(seconds)),
            origin))


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__.rsplit("\n\n", 1)[1].strip())
    main(*sys.argv[1:])
