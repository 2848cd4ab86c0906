#!/usr/bin/env bash
# Sets everything up and starts albumdesk: installs the Debian packages, builds the
# release preset and starts the program. Arguments are handed to the program (a picture
# or album file to open).
#
# Without a display (neither DISPLAY nor WAYLAND_DISPLAY set) the program starts on a
# virtual display (Xvfb); the script says so and saves a screenshot of the main window
# after start-up. From a terminal the program then runs until Ctrl+C; otherwise it is
# ended after the screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
program="$PWD/build-release/bin/albumdesk"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$program" "$@"
fi

echo "No display found: albumdesk starts on a virtual display (Xvfb)."
# Xvfb takes a free display and writes its number into the file on descriptor 3.
numberfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numberfile" 2>/dev/null &
xvfb_pid=$!
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$numberfile"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$numberfile" ] && break; sleep 0.2; done
[ -s "$numberfile" ] || { echo "Xvfb did not start." >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$numberfile")"

QT_QPA_PLATFORM=xcb "$program" "$@" &
program_pid=$!
window=""
for _ in $(seq 150); do
  window=$(xdotool search --onlyvisible --name '^albumdesk$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$program_pid" 2>/dev/null || { echo "albumdesk ended before its window appeared." >&2; exit 1; }
  sleep 0.2
done
[ -n "$window" ] || { echo "The main window did not appear." >&2; exit 1; }
sleep 1  # the first pictures of the command line
shot="$PWD/build-release/albumdesk-screenshot.png"
import -window "$window" "$shot"
echo "albumdesk runs on display $DISPLAY; its main window is in $shot"

if [ -t 0 ]; then
  echo "Press Ctrl+C to end it."
  wait "$program_pid" || true
fi
