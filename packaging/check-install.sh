#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what lands there.
# Usage: packaging/check-install.sh BUILD-DIR
set -euo pipefail
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
expect() { [ -s "$prefix/$1" ] || { echo "missing: $1" >&2; fail=1; }; }
id=org.mugrove.Mugrove
for program in mugrove mugrove-decoder; do
  expect bin/$program
  [ -x "$prefix/bin/$program" ] || { echo "bin/$program is not executable" >&2; fail=1; }
done
# The MP4 writer's module where the program looks for it (a path relative
# to its folder, as built in).
module=$(realpath -m --relative-to="$prefix" "$prefix/bin/$(cat "$build/mp4-module-from-program")")
expect "$module"
expect share/applications/$id.desktop
expect share/metainfo/$id.metainfo.xml
expect share/doc/mugrove/copyright
grep -q '^License: GPL-3.0+$' "$prefix/share/doc/mugrove/copyright" || { echo "copyright" >&2; fail=1; }
expect share/icons/hicolor/scalable/apps/$id.svg
for size in 16 24 32 48 64 128 256; do
  png="share/icons/hicolor/${size}x${size}/apps/$id.png"
  expect "$png"
  # A PNG of the size its folder names: width and height sit at bytes 16..23.
  if [ -s "$prefix/$png" ]; then
    got=$(od -An -tu1 -j16 -N8 "$prefix/$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$got" = "${size}x${size}" ] || { echo "$png is $got" >&2; fail=1; }
  fi
done
# The entry starts the installed program and names the installed icon.
grep -qx 'Exec=mugrove %F' "$prefix/share/applications/$id.desktop" || { echo "Exec" >&2; fail=1; }
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || { echo "Icon" >&2; fail=1; }
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
  "$prefix/share/metainfo/$id.metainfo.xml" || { echo "launchable" >&2; fail=1; }
# Nothing else: no headers, static libraries or test programs.
extra=$(cd "$prefix" && find . -type f ! -path './bin/mugrove' ! -path './bin/mugrove-decoder' \
  ! -path "./$module" ! -path './share/applications/*' \
  ! -path './share/metainfo/*' ! -path './share/icons/hicolor/*' ! -path './share/doc/mugrove/copyright')
[ -z "$extra" ] || { echo "unexpected files installed:"; echo "$extra"; fail=1; } >&2
[ $fail -eq 0 ] && echo "install to $prefix: all files in place"
exit $fail
