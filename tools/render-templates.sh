#!/usr/bin/env bash
# Render the built-in template pictures from their SVG sources.
#
#   bash tools/render-templates.sh
#
# For every assets/templates/NN-slug.svg this writes assets/templates/NN.jpg
# with the exact pixel size and JPEG flavour listed in the catalogue below,
# checks every JPEG it wrote, and builds assets/templates/contact-sheet.png.
# Building Mugrove itself never runs this: the JPEGs are committed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
dir="$here/assets/templates"
quality=88

# index|label|width|height|scan(prog/base)|colour(rgb/grey)|header(exif/jfif)
catalogue=(
  "00|短发1|234|234|prog|rgb|exif"
  "01|短发2|218|218|prog|rgb|exif"
  "02|熊猫1|160|155|prog|rgb|exif"
  "03|熊猫2|164|156|prog|rgb|exif"
  "04|熊猫3|208|207|prog|rgb|exif"
  "05|熊猫4|156|172|prog|rgb|exif"
  "06|熊猫5|160|131|prog|grey|exif"
  "07|熊猫6|133|139|prog|rgb|exif"
  "08|斯巴达1|154|172|prog|rgb|exif"
  "09|懵逼狗|264|237|prog|rgb|exif"
  "10|Tamble|287|213|prog|rgb|exif"
  "11|Orrick|347|231|prog|rgb|exif"
  "12|黑人问号|225|225|base|rgb|jfif"
  "13|马杀鸡|198|197|prog|rgb|exif"
  "14|小屁孩|198|198|base|rgb|jfif"
  "15|蠢猫1|266|266|prog|rgb|jfif"
  "16|蠢猫2|264|265|prog|rgb|jfif"
  "17|蘑菇头1|290|265|base|rgb|exif"
  "18|蘑菇头2|206|206|base|rgb|exif"
  "19|蘑菇头3|208|210|base|rgb|exif"
  "20|蘑菇头4|220|220|base|rgb|exif"
  "21|蘑菇头5|220|220|base|rgb|exif"
  "22|女生1|220|220|base|rgb|exif"
  "23|女生2|220|220|base|rgb|exif"
  "24|挑衅|198|198|base|rgb|exif"
  "25|蘑菇头6|171|163|base|rgb|exif"
  "26|蘑菇头7|258|253|prog|rgb|exif"
  "27|熊猫头1|400|400|prog|rgb|exif"
  "28|熊猫头2|182|198|prog|rgb|exif"
  "29|女生3|300|300|prog|rgb|exif"
  "30|蘑菇头8|186|198|prog|rgb|exif"
  "31|蘑菇头9|198|175|prog|rgb|exif"
  "32|理直气壮|198|193|prog|grey|exif"
  "33|蘑菇头10|125|174|prog|rgb|exif"
  "34|打脸|205|177|prog|rgb|exif"
  "35|蘑菇头11|300|300|prog|rgb|exif"
  "36|熊猫头3|300|300|prog|rgb|exif"
  "37|茫然|198|187|prog|rgb|exif"
)

# ---------------------------------------------------------------- tools
need=()
command -v rsvg-convert >/dev/null || need+=(librsvg2-bin)
command -v cjpeg >/dev/null || need+=(libjpeg-turbo-progs)
command -v exiftool >/dev/null || need+=(libimage-exiftool-perl)
# /usr/local/bin may hold something else called convert: use ImageMagick's.
[ -x /usr/bin/convert ] && [ -x /usr/bin/montage ] || need+=(imagemagick)
cjk_font=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
[ -f "$cjk_font" ] || need+=(fonts-noto-cjk)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}"; then
    $sudo apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${need[@]}"
  fi
fi
im=/usr/bin/convert
python=/usr/bin/python3
[ -x "$python" ] || python=python3

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# ---------------------------------------------------------------- render
for entry in "${catalogue[@]}"; do
  IFS='|' read -r idx label w h scan colour header <<<"$entry"
  shopt -s nullglob
  srcs=("$dir/$idx"-*.svg)
  shopt -u nullglob
  if [ ${#srcs[@]} -ne 1 ]; then
    echo "error: expected exactly one $dir/$idx-*.svg, found ${#srcs[@]}" >&2
    exit 1
  fi
  svg="${srcs[0]}"
  out="$dir/$idx.jpg"

  rsvg-convert --width "$w" --height "$h" --background-color white \
    -f png -o "$tmp/$idx.png" "$svg"
  # Flatten onto white and drop any alpha; PPM is what cjpeg reads.
  "$im" "$tmp/$idx.png" -background white -alpha remove -alpha off \
    -resize "${w}x${h}!" -depth 8 "ppm:$tmp/$idx.ppm"

  args=(-quality "$quality" -optimize)
  [ "$scan" = prog ] && args+=(-progressive)
  [ "$colour" = grey ] && args+=(-grayscale)
  cjpeg "${args[@]}" -outfile "$out" "$tmp/$idx.ppm"

  if [ "$header" = exif ]; then
    # Small fixed Exif block instead of the JFIF header; no dates or
    # machine details, so the bytes only depend on the picture.
    exiftool -q -overwrite_original -JFIF:all= -exif:Software=Mugrove "$out"
  fi
  echo "rendered $(basename "$out")  ${w}x${h} $scan $colour $header  $(stat -c %s "$out") bytes  ($(basename "$svg"))"
done

# ---------------------------------------------------------------- verify
printf '%s\n' "${catalogue[@]}" > "$tmp/catalogue.txt"
"$python" - "$dir" "$tmp/catalogue.txt" <<'PY'
import os, sys

folder, cat_path = sys.argv[1], sys.argv[2]

def parse(path):
    data = open(path, "rb").read()
    if data[:2] != b"\xff\xd8":
        raise ValueError("no SOI marker")
    pos, segs, sof = 2, [], None
    while pos < len(data):
        if data[pos] != 0xFF:
            raise ValueError("bad marker at %d" % pos)
        marker = data[pos + 1]
        if marker == 0xFF:
            pos += 1
            continue
        length = int.from_bytes(data[pos + 2:pos + 4], "big")
        body = data[pos + 4:pos + 2 + length]
        segs.append((marker, body))
        if marker in (0xC0, 0xC1, 0xC2, 0xC3):
            sof = (marker, body[0], int.from_bytes(body[3:5], "big"),
                   int.from_bytes(body[1:3], "big"), body[5])
        if marker == 0xDA:  # start of scan: header part is done
            break
        pos += 2 + length
    if not data.endswith(b"\xff\xd9"):
        raise ValueError("no EOI marker")
    return segs, sof, len(data)

bad, total = 0, 0
kinds = {"rgb": 0, "grey": 0, "prog": 0, "base": 0, "exif": 0, "jfif": 0}
for line in open(cat_path, encoding="utf-8"):
    idx, label, w, h, scan, colour, header = line.strip().split("|")
    path = os.path.join(folder, idx + ".jpg")
    problems = []
    try:
        segs, sof, size = parse(path)
    except (OSError, ValueError) as e:
        print("FAIL %s.jpg: %s" % (idx, e))
        bad += 1
        continue
    total += size
    if sof is None:
        problems.append("no SOF marker")
    else:
        marker, bits, sw, sh, ncomp = sof
        want_marker = 0xC2 if scan == "prog" else 0xC0
        if marker != want_marker:
            problems.append("SOF%d, want SOF%d" % (marker - 0xC0, want_marker - 0xC0))
        if bits != 8:
            problems.append("%d-bit samples" % bits)
        if (sw, sh) != (int(w), int(h)):
            problems.append("size %dx%d, want %sx%s" % (sw, sh, w, h))
        want_comp = 1 if colour == "grey" else 3
        if ncomp != want_comp:
            problems.append("%d components, want %d" % (ncomp, want_comp))
    first = segs[0] if segs else (None, b"")
    app0_jfif = [s for s in segs if s[0] == 0xE0 and s[1][:5] == b"JFIF\0"]
    app1_exif = [s for s in segs if s[0] == 0xE1 and s[1][:6] == b"Exif\0\0"]
    if header == "exif":
        if not (first[0] == 0xE1 and first[1][:6] == b"Exif\0\0"):
            problems.append("does not start with an Exif APP1")
        if app0_jfif:
            problems.append("has a JFIF APP0")
    else:
        if not (first[0] == 0xE0 and first[1][:5] == b"JFIF\0"):
            problems.append("does not start with a JFIF APP0")
        if app1_exif:
            problems.append("has an Exif APP1")
    for k in (scan, colour, header):
        kinds[k] += 1
    if problems:
        bad += 1
        print("FAIL %s.jpg (%s): %s" % (idx, label, "; ".join(problems)))
    else:
        print("ok   %s.jpg %4sx%-4s %s %-4s %s %6d bytes  %s"
              % (idx, w, h, scan, colour, header, size, label))
print("colour %(rgb)d + greyscale %(grey)d; progressive %(prog)d + baseline %(base)d; "
      "Exif %(exif)d + JFIF %(jfif)d" % kinds)
print("total %d bytes in %d JPEGs" % (total, sum(1 for _ in open(cat_path))))
if total >= 2 * 1024 * 1024:
    print("FAIL: pictures add up to 2 MB or more")
    bad += 1
if bad:
    print("%d picture(s) failed verification" % bad)
    sys.exit(1)
print("all pictures verified")
PY

# ---------------------------------------------------------------- contact sheet
tiles=()
for entry in "${catalogue[@]}"; do
  IFS='|' read -r idx label _ <<<"$entry"
  tiles+=(-label "$idx  $label" "$dir/$idx.jpg")
done
/usr/bin/montage -font "$cjk_font" -pointsize 15 -background white \
  "${tiles[@]}" -bordercolor "#b0b0b0" -border 1 -geometry 150x150+8+8 -tile 8x \
  -define png:exclude-chunks=date,time "$tmp/sheet.png"
"$im" "$tmp/sheet.png" -strip "$dir/contact-sheet.png"
echo "wrote assets/templates/contact-sheet.png"
