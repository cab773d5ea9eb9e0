#!/usr/bin/env bash
# Regenerates the pictures of the tool's windows in docs/ from the current build.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${VANTREL_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja >/dev/null
cmake --build "$BUILD" --target vantrel-screenshots -j "$(nproc)"
QT_QPA_PLATFORM=offscreen "$BUILD/tests/vantrel-screenshots" docs
