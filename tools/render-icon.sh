#!/usr/bin/env bash
# Renders the window icon and the desktop icon sizes from assets/icon/mugrove.svg.
# Needs rsvg-convert (Debian package librsvg2-bin); installs it when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v rsvg-convert >/dev/null; then
  if [ "$(id -u)" -eq 0 ]; then apt-get install -y --no-install-recommends librsvg2-bin
  else sudo apt-get install -y --no-install-recommends librsvg2-bin; fi
fi
rsvg-convert -w 50 -h 48 -o assets/icon/icon-50x48.png assets/icon/mugrove.svg
echo "assets/icon/icon-50x48.png"

# Desktop icons are square: the same drawing with a pixel of room above and below.
id=org.mugrove.Mugrove
icons=packaging/icons/hicolor
mkdir -p "$icons/scalable/apps"
sed -e 's/width="50" height="48" viewBox="0 0 50 48"/width="50" height="50" viewBox="0 -1 50 50"/' \
  assets/icon/mugrove.svg > "$icons/scalable/apps/$id.svg"
grep -q 'viewBox="0 -1 50 50"' "$icons/scalable/apps/$id.svg" \
  || { echo "the icon's drawing size changed: update the square framing" >&2; exit 1; }
echo "$icons/scalable/apps/$id.svg"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "$icons/${size}x${size}/apps"
  rsvg-convert -w "$size" -h "$size" -o "$icons/${size}x${size}/apps/$id.png" \
    "$icons/scalable/apps/$id.svg"
  echo "$icons/${size}x${size}/apps/$id.png"
done
