#!/usr/bin/env bash
# Regenerates app_icon.ico from app_icon.svg: seven square images of 16, 24,
# 32, 48, 64, 128 and 256 pixels, 32 bits per pixel, each stored as PNG.
# Needs Debian's librsvg2-bin (rsvg-convert) and python3. The .ico is kept in
# the repository, so building the program does not need either.
#   host/icon/make_icon.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=(16 24 32 48 64 128 256)
for size in "${sizes[@]}"; do
  rsvg-convert --width "$size" --height "$size" --format png --output "$work/$size.png" app_icon.svg
done
python3 - "$work" "${sizes[@]}" <<'PY'
import struct, sys
work, sizes = sys.argv[1], [int(s) for s in sys.argv[2:]]
images = [open(f"{work}/{s}.png", "rb").read() for s in sizes]
# ICONDIR, then one 16-byte ICONDIRENTRY per image (a width or height of 256
# is written as 0), then the PNG files themselves.
out = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, png in zip(sizes, images):
    out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png), offset)
    offset += len(png)
out += b"".join(images)
open("app_icon.ico", "wb").write(out)
PY
echo "wrote $(pwd)/app_icon.ico"
