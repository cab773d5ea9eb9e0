#!/usr/bin/env bash
# The tool's start against a minimal Qt Widgets window (bench/start/MinimalWindow.cpp), both on
# a virtual X server of their own: time until the main window is mapped, and resident memory
# when it is and after a settling time, with their ratios.
#
#   bench/start/start_bench.sh [BUILD_DIR] [RUNS]      (default: build, 9)
#   OPENBOX=1   the same under the openbox window manager (the time then ends when the frame
#               around the window is mapped)
#
# The tool runs with a home folder of its own, so no saved window placement or settings weigh
# on it; the preview is not opened, so the browser engine stays unloaded.
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=${1:-build}
RUNS=${2:-9}
for tool in Xvfb; do
  command -v "$tool" >/dev/null || { echo "start_bench: $tool is missing" >&2; exit 1; }
done
BUILD=$(realpath "$BUILD")

work=$(mktemp -d)
pids=""
stop() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  for pid in $pids; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids="$!"
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "start_bench: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"
if [ "${OPENBOX:-0}" = 1 ]; then
  XDG_CONFIG_HOME="$work/config" openbox --sm-disable >"$work/openbox.log" 2>&1 &
  pids="$! $pids"
  sleep 1
fi

mkdir -p "$work/home"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
"$BUILD/bench/window_start_bench" --runs "$RUNS" \
  --program "$BUILD/bin/vantrel-formulare" --peer "$BUILD/bench/minimal_window"
