#!/usr/bin/env bash
# Draws the program's pictures again (icons, tab pages, cell shadow, splash pictures and
# clip) into the sources, with the drawing program of tools/assets.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target ad_make_assets
mkdir -p workspace/images
build/bin/ad_make_assets "$PWD"
echo "Pictures written to workspace/images, app/data and app/data/icons."
