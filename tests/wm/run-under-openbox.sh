#!/usr/bin/env bash
# Runs a program on a virtual X server of its own (Xvfb, 1280 x 1024) under the openbox window
# manager, so windows get real frames and title bars; stops both again when the program ends.
# Usage: run-under-openbox.sh PROGRAM [ARGUMENTS...]; the program's exit code is passed on.
set -euo pipefail

for tool in Xvfb openbox xprop xwininfo; do
  if ! command -v "$tool" >/dev/null; then
    echo "run-under-openbox: $tool is missing; scripts/setup.sh installs it" >&2
    exit 1
  fi
done

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
stop() {
  for pid in $wm_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in $wm_pid $xvfb_pid; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 143' TERM INT

# Xvfb chooses a free display itself and writes its number once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "run-under-openbox: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$work/display")"

# openbox with its stock configuration, whatever the user has configured.
XDG_CONFIG_HOME="$work/config" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
  echo "run-under-openbox: openbox did not take the display" >&2
  cat "$work/openbox.log" >&2
  exit 1
fi

status=0
QT_QPA_PLATFORM=xcb timeout --kill-after=10 240 "$@" || status=$?
exit "$status"
