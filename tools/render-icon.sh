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
