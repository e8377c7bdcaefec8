# Sourced by the tools that picture the program: installs what is missing,
# builds Mugrove when needed, starts it on a private virtual display and sets
# DISPLAY, window (its id) and X, Y (its client origin). Whatever is in
# $on_exit runs when the tool ends, after the program and display are gone.
need=()
for tool in Xvfb:xvfb import:imagemagick xdotool:xdotool; do
  command -v "${tool%%:*}" >/dev/null || need+=("${tool##*:}")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
  "${sudo[@]}" apt-get install -y --no-install-recommends "${need[@]}"
fi
[ -x build/release/mugrove ] || { cmake --preset release >/dev/null && cmake --build --preset release; }

# A display number no other server holds (its lock file is missing).
n=$((90 + RANDOM % 100))
while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
display=:$n
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
trap 'kill $app "$xvfb" 2>/dev/null || true; eval "${on_exit:-}"' EXIT
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
