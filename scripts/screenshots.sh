#!/usr/bin/env bash
# Regenerates the pictures of the tool's windows from the current build:
#   scripts/screenshots.sh [OUTPUT_FOLDER]      (default: docs)
# The windows are shown on a virtual X server (Xvfb) under the openbox window manager and taken
# as the screen shows them, title bars included; without openbox on Xvfb alone, and without
# Xvfb on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${VANTREL_BUILD_DIR:-build}
OUTPUT=${1:-docs}
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" --target vantrel-screenshots -j "$(nproc)"
if command -v Xvfb >/dev/null && command -v openbox >/dev/null; then
  env -u WAYLAND_DISPLAY bash tests/wm/run-under-openbox.sh "$BUILD/tests/vantrel-screenshots" "$OUTPUT"
elif command -v xvfb-run >/dev/null; then
  env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1024x768x24" "$BUILD/tests/vantrel-screenshots" "$OUTPUT"
else
  QT_QPA_PLATFORM=offscreen "$BUILD/tests/vantrel-screenshots" "$OUTPUT"
fi
echo "screenshots: written to $OUTPUT/"
