#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing albumdesk need.
# Packages already present are not asked for again, so a set-up machine needs no root.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libjpeg62-turbo-dev libpng-dev libtiff-dev
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libxcb1-dev
  # run (xdg-email: the mail program hands pictures to the desktop's mail composer; xdg-open:
  # documents go to the desktop's handler; the toolkit's own translations of its standard
  # buttons and dialogs)
  fonts-noto-cjk xdg-utils qt6-translations-l10n
  # peers of the tests and benchmarks
  ffmpeg libavcodec-dev libavfilter-dev libavutil-dev libswscale-dev libjpeg-turbo-progs libimage-exiftool-perl exiv2 imagemagick
  xvfb xauth xdotool xclip x11-utils openbox python3 desktop-file-utils shared-mime-info gtk-update-icon-cache
  hicolor-icon-theme libglib2.0-bin libmagickwand-dev libturbojpeg0-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "These packages are missing and this is not root: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
