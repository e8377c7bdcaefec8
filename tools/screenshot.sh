#!/usr/bin/env bash
# Takes the README's screenshot: starts Mugrove on a private virtual display,
# picks a template, types a caption and saves the window to docs/screenshot.png.
# Usage: tools/screenshot.sh [template-index] [caption]
set -euo pipefail
cd "$(dirname "$0")/.."
index="${1:-36}"
caption="${2:-周一早上的我}"
need=()
for tool in Xvfb:xvfb import:imagemagick xdotool:xdotool; do
  command -v "${tool%%:*}" >/dev/null || need+=("${tool##*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
  "${sudo[@]}" apt-get install -y --no-install-recommends "${need[@]}"
fi
[ -x build/release/mugrove ] || { cmake --preset release >/dev/null && cmake --build --preset release; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$app" "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY="$display"
sleep 1
build/release/mugrove >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 50); do
  window=$(xdotool search --name '^Mugrove$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "Mugrove did not open a window" >&2; exit 1; }
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$window")"
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
