#!/usr/bin/env python3
"""Writes the release zip, the same bytes for the same inputs: entries sorted
by name, each with one fixed time stamp (the commit's), fixed permissions and
no extra fields, compressed at one fixed level. SHA256SUMS, listing every
other entry, is added to the zip; a SHA256SUMS naming the zip is written
beside it.

usage: make_zip.py --out ZIP --time EPOCH NAME=FILE...
"""

import argparse
import hashlib
import os
import sys
import time
import zipfile


def entry(name, stamp):
    info = zipfile.ZipInfo(name, date_time=stamp)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 3  # Unix, so that the permissions below are read as such
    info.external_attr = 0o100644 << 16
    return info


def sums(files):
    return "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--time", type=int, required=True, help="seconds since 1970, UTC")
    parser.add_argument("files", nargs="+", metavar="NAME=FILE")
    args = parser.parse_args()

    files = []
    for pair in args.files:
        name, _, path = pair.partition("=")
        with open(path, "rb") as source:
            files.append((name, source.read()))
    files.sort()
    names = [name for name, _ in files]
    if len(set(names)) != len(names) or "SHA256SUMS" in names:
        sys.exit("make_zip.py: entry names must be distinct, and SHA256SUMS is written here")
    files.append(("SHA256SUMS", sums(files).encode("ascii")))

    # A zip entry's time has two-second steps and starts in 1980.
    stamp = time.gmtime(max(args.time, 315532800))[:6]
    temporary = args.out + ".tmp"
    with zipfile.ZipFile(temporary, "w") as archive:
        for name, data in files:
            archive.writestr(entry(name, stamp), data, compresslevel=9)
    os.replace(temporary, args.out)

    with open(args.out, "rb") as archive:
        outer = [(os.path.basename(args.out), archive.read())]
    with open(os.path.join(os.path.dirname(args.out), "SHA256SUMS"), "w", encoding="ascii") as listing:
        listing.write(sums(outer))


if __name__ == "__main__":
    main()
