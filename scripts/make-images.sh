#!/usr/bin/env bash
# Regenerates the installer's artwork from this repository alone (ImageMagick, the Nanum fonts
# and Python's standard library): the 32 x 32 icon in 256 colours, the 147 x 26 logo in 24-bit
# colour and the 164 x 314 banner in 256 colours, all under src/app/res/.
set -euo pipefail
cd "$(dirname "$0")/.."
out=src/app/res
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

bold=/usr/share/fonts/truetype/nanum/NanumGothicBold.ttf
regular=/usr/share/fonts/truetype/nanum/NanumGothic.ttf
for f in "$bold" "$regular"; do
  [ -f "$f" ] || { echo "make-images: $f is missing (package fonts-nanum)" >&2; exit 1; }
done

# Banner: a deep blue to teal sky with soft rings, the product name at the foot.
convert -size 164x314 gradient:'#0b2a5b'-'#138a9e' \
  \( -size 164x314 xc:none -fill '#ffffff22' -draw 'circle 130,70 130,150' \
     -fill '#ffffff18' -draw 'circle 20,190 20,250' \
     -fill none -stroke '#ffffff40' -strokewidth 2 -draw 'circle 120,250 120,300' \) \
  -composite \
  -fill white -font "$bold" -pointsize 22 -annotate +14+262 'Velquor' \
  -fill '#d8f3f7' -font "$regular" -pointsize 13 -annotate +15+284 'Manager Setup' \
  -fill '#ffffff' -draw 'rectangle 15,232 60,234' \
  -dither None -colors 256 -type Palette -compress None "BMP3:$out/banner.bmp"

# Logo: the maker's name on the button-face grey of the bottom panel, drawn 1:1 beside the buttons.
convert -size 147x26 xc:'#f0f0f0' \
  -fill '#138a9e' -draw 'roundrectangle 1,3 20,22 4,4' \
  -fill white -font "$bold" -pointsize 15 -annotate +5+18 'H' \
  -fill '#0b2a5b' -font "$bold" -pointsize 16 -annotate +26+19 'Harlune' \
  -fill '#6b7785' -font "$regular" -pointsize 11 -annotate +94+19 'Solution' \
  -type TrueColor -compress None "BMP3:$out/logo.bmp"

# Icon: a rounded teal tile with a white V, kept to 256 colours.
convert -size 32x32 xc:none \
  -fill '#0b2a5b' -draw 'roundrectangle 1,1 30,30 6,6' \
  -fill '#138a9e' -draw 'roundrectangle 3,3 28,28 5,5' \
  -fill white -font "$bold" -pointsize 24 -gravity center -annotate +0+1 'V' \
  -background '#ffffff' -alpha remove -dither None -colors 255 -type Palette -compress None \
  "BMP3:$tmp/icon.bmp"
# Packs the 8-bit bitmap into a one-image .ico (256 colours, every pixel opaque).
python3 - "$tmp/icon.bmp" "$out/VelquorManager_Install.ico" <<'PY'
import struct
import sys

src, dst = sys.argv[1], sys.argv[2]
data = open(src, "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
header_size, width, height, _, bits = struct.unpack_from("<IiiHH", data, 14)
if (width, abs(height), bits) != (32, 32, 8):
    sys.exit(f"make-icon: expected a 32x32 8-bit bitmap, got {width}x{height}x{bits}")
colours = struct.unpack_from("<I", data, 14 + 32)[0] or 256
palette = data[14 + header_size:14 + header_size + 4 * colours].ljust(4 * 256, b"\0")
pixels = data[offset:offset + 32 * 32]
if height < 0:  # top-down source: icons are stored bottom-up
    pixels = b"".join(pixels[r * 32:(r + 1) * 32] for r in reversed(range(32)))
mask = bytes(4 * 32)  # AND mask: 32 rows of 32 bits, padded to 4 bytes, all opaque
info = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 8, 0, len(pixels) + len(mask), 0, 0, 256, 0)
image = info + palette + pixels + mask
icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 32, 32, 0, 0, 1, 8, len(image), 22)
open(dst, "wb").write(icon + image)
PY

echo "make-images: wrote $out/banner.bmp, $out/logo.bmp, $out/VelquorManager_Install.ico"
