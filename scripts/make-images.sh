#!/usr/bin/env bash
# Regenerates the installer's artwork from this repository alone (ImageMagick, the Nanum fonts
# and Python's standard library), all under src/app/res/: the 32 x 32 icon in 256 colours, and the
# logo and the banner for each display scaling the window picks from (100, 125, 150 and 200 %).
# At 100 %: logo.bmp, 147 x 26 in 24-bit colour, uncompressed, and banner.bmp, 164 x 314 in 256
# colours. The larger ones (logo-125.bmp ... banner-200.bmp) are drawn natively at their size, so
# the text stays sharp. Every 256-colour bitmap is RLE8-compressed to keep the exe small; the
# window loads them as device-dependent bitmaps, which the platform decodes from RLE8.
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

# The artwork is laid out in 100 % pixels; these map a value to the scaling in $pct.
# A length (radius, stroke, point size) keeps its fraction.
len() { awk -v v="$1" -v p="$pct" 'BEGIN { printf "%g", v * p / 100 }'; }
# A pixel edge is rounded, so filled spans and text origins stay on the pixel grid and crisp.
edge() { awk -v v="$1" -v p="$pct" 'BEGIN { printf "%d", int(v * p / 100 + 0.5) }'; }
# The filled pixels x1..x2, y1..y2 (inclusive, as ImageMagick fills rectangles) at 100 %.
span() {
  echo "$(edge "$1"),$(edge "$2") $(($(edge $(($3 + 1))) - 1)),$(($(edge $(($4 + 1))) - 1))"
}
# A circle by centre and radius; ImageMagick puts pixel centres on whole numbers.
circle() {
  awk -v x="$1" -v y="$2" -v r="$3" -v p="$pct" 'BEGIN {
    k = p / 100; cx = (x + 0.5) * k - 0.5; cy = (y + 0.5) * k - 0.5
    printf "circle %g,%g %g,%g", cx, cy, cx, cy + r * k }'
}

# Banner: a deep blue to teal sky with soft rings, the product name at the foot; 256 colours.
banner() {
  local pct=$1 file=$2
  convert -size "$(edge 164)x$(edge 314)" gradient:'#0b2a5b'-'#138a9e' \
    \( -size "$(edge 164)x$(edge 314)" xc:none -fill '#ffffff22' -draw "$(circle 130 70 80)" \
       -fill '#ffffff18' -draw "$(circle 20 190 60)" \
       -fill none -stroke '#ffffff40' -strokewidth "$(len 2)" -draw "$(circle 120 250 50)" \) \
    -composite \
    -fill white -font "$bold" -pointsize "$(len 22)" -annotate "+$(edge 14)+$(edge 262)" 'Velquor' \
    -fill '#d8f3f7' -font "$regular" -pointsize "$(len 13)" \
    -annotate "+$(edge 15)+$(edge 284)" 'Manager Setup' \
    -fill '#ffffff' -draw "rectangle $(span 15 232 60 234)" \
    -dither None -colors 256 -type Palette -compress None "BMP3:$file"
}

# Logo: the maker's name on the button-face grey of the bottom panel, drawn 1:1 beside the
# buttons. The window keys out the colour of its bottom-left pixel, so that grey stays exact.
logo() {
  local pct=$1 file=$2
  shift 2
  convert -size "$(edge 147)x$(edge 26)" xc:'#f0f0f0' \
    -fill '#138a9e' -draw "roundrectangle $(span 1 3 20 22) $(len 4),$(len 4)" \
    -fill white -font "$bold" -pointsize "$(len 15)" -annotate "+$(edge 5)+$(edge 18)" 'H' \
    -fill '#0b2a5b' -font "$bold" -pointsize "$(len 16)" \
    -annotate "+$(edge 26)+$(edge 19)" 'Harlune' \
    -fill '#6b7785' -font "$regular" -pointsize "$(len 11)" \
    -annotate "+$(edge 94)+$(edge 19)" 'Solution' \
    "$@" -compress None "BMP3:$file"
}

# The 100 % logo in 24-bit colour; the rest in 256 colours: RLE8 packs them to a fraction of
# their size. No dithering, so the runs stay long and the logo's grey stays flat.
logo 100 "$out/logo.bmp" -type TrueColor
banner 100 "$tmp/banner.bmp"
scaled=(banner.bmp)
for pct in 125 150 200; do
  banner "$pct" "$tmp/banner-$pct.bmp"
  logo "$pct" "$tmp/logo-$pct.bmp" -dither None -colors 256 -type Palette
  scaled+=("banner-$pct.bmp" "logo-$pct.bmp")
done
# Our own RLE8 encoder, because ImageMagick's also encodes each row's padding as pixels, and a
# run past the right edge is undefined to the platform's decoder.
python3 - "$tmp" "$out" "${scaled[@]}" <<'PY'
import struct
import sys
from pathlib import Path

BI_RLE8 = 1


def longest_run(row, x):
    n = 1
    while x + n < len(row) and n < 255 and row[x + n] == row[x]:
        n += 1
    return n


def encode_row(row):
    out, x = bytearray(), 0
    while x < len(row):
        start, n = x, longest_run(row, x)
        # Pixels that do not repeat go out as one literal run (3 to 255 long, word-padded),
        # which costs a byte a pixel instead of two.
        while x < len(row) and x - start < 255 and longest_run(row, x) < 3:
            x += min(longest_run(row, x), 255 - (x - start))
        if x - start >= 3:
            out += bytes((0, x - start)) + row[start:x] + bytes((x - start) & 1)
        else:  # a repeat, or too few for a literal run (lengths 0 to 2 are escape codes)
            out += bytes((n, row[start]))
            x = start + n
    return out + b"\0\0"  # end of line


source_dir, out_dir = Path(sys.argv[1]), Path(sys.argv[2])
for name in sys.argv[3:]:
    data = (source_dir / name).read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 8 or compression != 0 or height <= 0:
        sys.exit(f"make-images: {name}: expected a bottom-up, uncompressed 8-bit bitmap")
    stride = (width + 3) & ~3
    pixels = b"".join(encode_row(data[offset + y * stride:offset + y * stride + width])
                      for y in range(height)) + b"\0\1"  # end of bitmap
    header = bytearray(data[:offset])
    struct.pack_into("<I", header, 2, offset + len(pixels))
    struct.pack_into("<I", header, 30, BI_RLE8)
    struct.pack_into("<I", header, 34, len(pixels))
    (out_dir / name).write_bytes(header + pixels)
PY
for f in "${scaled[@]}"; do
  compare -metric AE "$tmp/$f" "$out/$f" null: 2>/dev/null ||
    { echo "make-images: $out/$f does not decode to the picture drawn" >&2; exit 1; }
done

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

# Every bitmap must be what the window expects of it: its size and format, an RLE8 stream that
# decodes to whole rows (the platform's decoder leaves missing pixels unpainted), and for the
# logos an exact, flat grey from the key pixel (bottom left) round the edges, since the window
# cuts that colour out.
python3 - "$out" <<'PY'
import struct
import sys
from pathlib import Path

BI_RGB, BI_RLE8 = 0, 1
BUTTON_FACE = (0xF0, 0xF0, 0xF0)
EXPECTED = {  # file: (width, height, bits per pixel, compression)
    "logo.bmp": (147, 26, 24, BI_RGB),
    "logo-125.bmp": (184, 33, 8, BI_RLE8),
    "logo-150.bmp": (221, 39, 8, BI_RLE8),
    "logo-200.bmp": (294, 52, 8, BI_RLE8),
    "banner.bmp": (164, 314, 8, BI_RLE8),
    "banner-125.bmp": (205, 393, 8, BI_RLE8),
    "banner-150.bmp": (246, 471, 8, BI_RLE8),
    "banner-200.bmp": (328, 628, 8, BI_RLE8),
}


def fail(name, why):
    sys.exit(f"make-images: {name}: {why}")


def rle8_rows(name, stream, width, height):
    rows, row, i = [], [], 0
    while True:
        if i + 2 > len(stream):
            fail(name, "the RLE8 data ends without an end-of-bitmap mark")
        count, value = stream[i], stream[i + 1]
        i += 2
        if count:
            row += [value] * count
        elif value == 0:  # end of line
            rows.append(row)
            row = []
        elif value == 1:  # end of bitmap
            if row:
                rows.append(row)
            break
        elif value == 2:
            fail(name, "an RLE8 delta leaves pixels unpainted")
        else:  # a literal run, padded to a whole word
            row += stream[i:i + value]
            i += value + (value & 1)
        if len(row) > width:
            fail(name, f"RLE8 row {len(rows)} runs past the width")
    if len(rows) != height or any(len(r) != width for r in rows):
        fail(name, "the RLE8 data does not decode to whole rows")
    return rows


for name, (width, height, bits, compression) in EXPECTED.items():
    data = (Path(sys.argv[1]) / name).read_bytes()
    magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data)
    (header_size, got_width, got_height, planes, got_bits, got_compression, image_size,
     _, _, colours, _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    if magic != b"BM" or file_size != len(data) or header_size != 40 or planes != 1:
        fail(name, "not a plain Windows bitmap")
    if (got_width, got_height, got_bits, got_compression) != (width, height, bits, compression):
        fail(name, f"expected {width}x{height}, {bits}-bit, compression {compression}; got "
                   f"{got_width}x{got_height}, {got_bits}-bit, compression {got_compression}")
    if bits == 24:
        stride = (width * 3 + 3) & ~3
        rows = [[tuple(data[offset + y * stride + 3 * x + c] for c in (2, 1, 0))
                 for x in range(width)] for y in range(height)]
    else:
        colours = colours or 256
        palette = [tuple(data[54 + 4 * n + c] for c in (2, 1, 0)) for n in range(colours)]
        if compression == BI_RLE8:
            # The platform takes a compressed bitmap's data size from the header.
            if image_size != len(data) - offset:
                fail(name, "biSizeImage is not the size of the RLE8 data")
            indices = rle8_rows(name, data[offset:], width, height)
        else:
            stride = (width + 3) & ~3
            indices = [data[offset + y * stride:offset + y * stride + width] for y in range(height)]
        if any(i >= colours for row in indices for i in row):
            fail(name, "a pixel points past the colour table")
        rows = [[palette[i] for i in row] for row in indices]
    if name.startswith("logo"):
        # Stored bottom-up: rows[0] is the bottom row and rows[0][0] the key pixel.
        edges = rows[0] + rows[-1] + [row[0] for row in rows]
        if any(pixel != BUTTON_FACE for pixel in edges):
            fail(name, "the background is not one exact grey")
    print(f"make-images: {name}: {width}x{height}, {bits}-bit"
          f"{', RLE8' if compression == BI_RLE8 else ''}, {len(data)} bytes")
PY
# ...and ImageMagick, an independent decoder, reads each one back.
for f in "$out"/logo*.bmp "$out"/banner*.bmp; do
  identify -regard-warnings "$f" >/dev/null || { echo "make-images: $f does not decode" >&2; exit 1; }
done

echo "make-images: wrote the logos, the banners and $out/VelquorManager_Install.ico"
