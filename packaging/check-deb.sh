#!/usr/bin/env bash
# Builds the .deb from the release build, installs it with apt-get, starts the
# installed program on a private Xvfb display, sees its window, closes it with
# Esc and removes the package again. Installs system packages: run it as root
# (or with sudo) on a machine you may change; CI does not run it.
# Usage: packaging/check-deb.sh [--keep]   (--keep leaves the package installed)
set -euo pipefail
cd "$(dirname "$0")/.."
keep=no
[ "${1:-}" = "--keep" ] && keep=yes
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

cmake --preset release >/dev/null
cmake --build --preset release --target mugrove
(cd build/release && rm -f mugrove_*.deb && cpack -G DEB >/dev/null)
deb=$(ls build/release/mugrove_*.deb)
echo "built $deb"
dpkg-deb --field "$deb" Package Version Architecture Maintainer Depends
dpkg-deb --contents "$deb" | awk '{print $6}'

export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get install -y -q "./$deb" >/dev/null
echo "installed: $(dpkg-query -W -f='${Package} ${Version} ${Status}' mugrove)"
for program in mugrove mugrove-decoder; do
  [ -x /usr/bin/$program ] || { echo "/usr/bin/$program is missing" >&2; exit 1; }
done
module=$(realpath -m "/usr/bin/$(cat build/release/mp4-module-from-program)")
[ -s "$module" ] || { echo "the MP4 module $module is missing" >&2; exit 1; }
bash packaging/check-links.sh /usr/bin/mugrove

# A private display and home, so nothing of the user's is touched.
tmp=$(mktemp -d)
exec 3> >(cat > "$tmp/display")
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$tmp/display")"
mkdir -p "$tmp/home"
HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp" QT_QPA_PLATFORM=xcb /usr/bin/mugrove &
app=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Mugrove$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the installed program showed no window" >&2; exit 1; }
xdotool getwindowgeometry "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 390)) $((Y + 410)) click 1 key Escape
code=0
wait "$app" || code=$?
app=""
echo "the installed program showed its window and closed with exit code $code"
[ "$code" -eq 0 ] || exit 1

if [ "$keep" = no ]; then
  "${sudo[@]}" apt-get remove -y -q mugrove >/dev/null
  for left in /usr/bin/mugrove /usr/bin/mugrove-decoder "$module"; do
    [ ! -e "$left" ] || { echo "$left is still there" >&2; exit 1; }
  done
  echo "removed again"
fi
