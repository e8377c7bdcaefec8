#!/usr/bin/env bash
# Takes the README's screenshot: starts Mugrove on a private virtual display,
# picks a template, types a caption and saves the window to docs/screenshot.png.
# Usage: tools/screenshot.sh [template-index] [caption]
set -euo pipefail
cd "$(dirname "$0")/.."
index="${1:-36}"
caption="${2:-周一早上的我}"
source tools/virtual-display.sh
# Replace the caption text.
xdotool mousemove $((X + 480)) $((Y + 50)) click 1 key ctrl+a type --delay 20 "$caption"
# Pick the template with the keyboard: focus the list, go to its first item, move down.
xdotool mousemove $((X + 500)) $((Y + 160)) click 1
xdotool key Home
for _ in $(seq "$index"); do xdotool key Down; done
# Drag the caption from its start place (middle 116, 228) to the picture's lower
# part (the free strip of the default template).
xdotool mousemove $((X + 116)) $((Y + 228)) mousedown 1
for step in 1 2 3 4 5; do
  xdotool mousemove $((X + 116 + 39 * step / 5)) $((Y + 228 + 55 * step / 5))
done
xdotool mouseup 1
sleep 0.5
import -window "$window" docs/screenshot.png
echo "docs/screenshot.png"
