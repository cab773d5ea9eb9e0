#!/usr/bin/env bash
# Sets up, builds and starts the tool.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

# Release, in a folder of its own: the tests build in build-asan/, and build/ stays free for a
# build with debug information.
BUILD=${VANTREL_BUILD_DIR:-build-release}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
# The tool with everything it needs beside it: the prototype viewer and its icon pattern.
cmake --build "$BUILD" -j "$(nproc)" --target vantrel-formulare vantrel_prototype vantrel-cli
exec "$BUILD/bin/vantrel-formulare" "$@"
