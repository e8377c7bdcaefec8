#!/usr/bin/env bash
# Fails when PROGRAM loads a codec library at start: the decoders live in
# the helper mugrove-decoder and the MP4 writer in a module loaded on first
# use, so nothing of them may be among the libraries the program needs,
# directly or through another library. What the Qt libraries bring in
# themselves is not the program's doing and is let be.
# Usage: packaging/check-links.sh PROGRAM
set -euo pipefail
program="$1"
codecs='^lib(avformat|avcodec|swscale|swresample|avutil|heif|avif|jxl|jxl_threads|webp|webpdemux|spng|lcms2)\.so'

needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || { echo "$program: no NEEDED entries read" >&2; exit 2; }
# Everything loaded at start, and what the Qt libraries load of it.
loaded=$(ldd "$program" | awk '{print $1}')
qt=$(ldd "$program" | awk '$1 ~ /^libQt6/ {print $3}' | xargs -r -n1 ldd | awk '{print $1}' | sort -u)

fail=0
for lib in $loaded; do
  [[ "$lib" =~ $codecs ]] || continue
  if grep -qx "$lib" <<<"$needed"; then
    echo "$program needs $lib itself" >&2; fail=1
  elif ! grep -qx "$lib" <<<"$qt"; then
    echo "$program loads $lib, and not through Qt" >&2; fail=1
  fi
done
[ $fail -eq 0 ] && echo "$program: $(wc -l <<<"$loaded") libraries at start, no codec library"
exit $fail
