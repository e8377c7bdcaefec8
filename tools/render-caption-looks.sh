#!/usr/bin/env bash
# Draws the README's picture of the caption's five looks with the program
# itself: starts Mugrove on a private virtual display, styles a red caption
# over a template, picks each look from the caption's right-click menu and
# stacks the captions into docs/caption-looks.png.
# Usage: tools/render-caption-looks.sh [template-index] [caption]
set -euo pipefail
cd "$(dirname "$0")/.."
index="${1:-0}"
caption="${2:-配字效果}"
convert=/usr/bin/convert # ImageMagick's, whatever else is on the path
face=$(fc-match -f '%{file}' 'Noto Sans CJK SC')
work=$(mktemp -d)
on_exit='rm -rf "$work"'
source tools/virtual-display.sh
at() { xdotool mousemove $((X + $1)) $((Y + $2)); }

at 480 50 && xdotool click 1 key ctrl+a type --delay 60 "$caption"
at 500 160 && xdotool click 1 key Home
for _ in $(seq "$index"); do xdotool key Down; done
# The caption's box: 200 × 120 (typed, then one page up on each slider).
at 472 340 && xdotool click 1 key ctrl+a BackSpace type 195
at 622 335 && xdotool click 1
at 472 378 && xdotool click 1 key ctrl+a BackSpace type 115
at 622 369 && xdotool click 1
# 30 points: six pages up from the bottom of the size slider.
for _ in 1 2 3 4 5 6; do at 610 14 && xdotool click 1 && sleep 0.1; done
# Up to the top of the picture, over light background and dark hair alike.
at 182 240 && xdotool mousedown 1
for step in 1 2 3 4 5; do at 182 $((240 - 40 * step)); done
xdotool mouseup 1 && sleep 0.3
# Red, from the colour palette (row 1, column 5).
at 492 106 && xdotool click 1 && sleep 0.4
at 577 149 && xdotool click 1 && sleep 0.3

# Picks entry N of the caption's menu with the keyboard (0 is the first).
choose() {
  at 132 46 && xdotool click 3 && sleep 0.4
  if [ "$1" -lt 0 ]; then xdotool key Up Return; else
    for _ in $(seq 0 "$1"); do xdotool key Down; done
    xdotool key Return
  fi
  at 620 440 && sleep 0.4
}
shoot() {
  import -window "$window" "$work/window.png"
  "$convert" "$work/window.png" -crop 206x60+33+18 +repage \
    -background white -gravity west -splice 96x0 -font "$face" -pointsize 18 \
    -annotate +8+0 "$2" "$work/$1.png"
}
shoot 0 "无效果"
choose 1 && shoot 1 "浅色浮雕"
choose 2 && shoot 2 "凸起"
choose 3 && shoot 3 "深色阴影"
choose 0 && choose -1 && shoot 4 "描边"
"$convert" "$work"/[0-4].png -append docs/caption-looks.png
echo "docs/caption-looks.png"
