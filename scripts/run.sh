#!/usr/bin/env bash
# Sets up, builds and starts the tool.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=${VANTREL_BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target vantrel-formulare
exec "$BUILD/bin/vantrel-formulare" "$@"
