#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: installs the Debian packages,
# builds with the default preset and runs every CTest label (unit, gui, peer, e2e),
# then builds the fuzz targets and runs each briefly over its seeds.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
export ALBUMDESK_CI_PEERS=1   # a test whose outside tool is missing fails instead of skipping

jobs=$(nproc)
cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"

cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -j "$jobs"
