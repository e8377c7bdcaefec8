#!/usr/bin/env bash
# Installs the Debian packages Mugrove needs to build, run and test, and
# nothing when they are all present. Uses apt-get as root, sudo otherwise.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev        # Qt 6 Widgets and Qt Test
  qt6-wayland                   # runs natively on Wayland desktops
  qt6-translations-l10n         # Qt's own dialogs and menus in the desktop's language
  libjpeg-dev                   # libjpeg-turbo
  libseccomp-dev                # the system-call filter of the decoder process
  libspng-dev libwebp-dev       # PNG; WebP with its demux library (still and animated)
  liblcms2-dev                  # embedded colour profiles converted to sRGB
  libheif-dev libavif-dev       # HEIC/HEIF (libde265 behind it) and AVIF (dav1d behind it)
  libjxl-dev                    # JPEG XL
  fonts-noto-cjk                # Chinese text in the window and on captions
  fonts-noto-color-emoji        # colour emoji in captions and the edit box
  libbenchmark-dev              # bench/
  libgif-dev                    # giflib: writing animated GIFs; bench/decoders' yardstick decoder
  libimagequant-dev             # the palettes of animated GIFs written
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev  # video clips in
  libswresample-dev             # MP4 out: the sound converted for the AAC encoder
  libssl-dev                    # libcrypto: SHA-256 with the processor's SHA instructions (the meme store)
  ffmpeg                        # tools/make-test-data.py: the clip test files
  libjpeg-turbo-progs           # tools/make-test-data.py: cjpeg makes the JPEG test files
  xvfb xauth                    # a virtual display for screenshots and end-to-end tests
  xdotool xclip libx11-dev      # end-to-end tests: input, clipboard, screen read-back, drag source
  weston wl-clipboard           # end-to-end tests: a Wayland compositor and its clipboard tools
  appstream desktop-file-utils  # validating the desktop entry and AppStream metadata
  dpkg-dev                      # cpack -G DEB: dependencies through dpkg-shlibdeps
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
