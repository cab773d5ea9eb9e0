#!/usr/bin/env bash
# Sets up, builds and starts the tool.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=${VANTREL_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The tool with everything it needs beside it: the prototype viewer and its icon pattern.
cmake --build "$BUILD" -j "$(nproc)" --target vantrel-formulare vantrel_prototype vantrel-cli
exec "$BUILD/bin/vantrel-formulare" "$@"
