#!/usr/bin/env bash
# Style checks of the test run:
#   check_style.sh format        every C++ file as .clang-format lays it out
#   check_style.sh tidy BUILD    clang-tidy (.clang-tidy) over the core, with BUILD's compile commands
set -euo pipefail
cd "$(dirname "$0")/.."

core_sources() {
  git ls-files 'base/*.cpp' 'project/*.cpp' 'page/*.cpp' 'archive/*.cpp' 'icon/*.cpp' \
    'program/*.cpp' 'builder/*.cpp' 'formmail/*.cpp' 'answers/*.cpp' | grep -v '^icon/loaders/'
}

case "${1:-}" in
  format)
    git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run --Werror
    ;;
  tidy)
    build=${2:?usage: check_style.sh tidy BUILD}
    if ! command -v clang-tidy >/dev/null; then
      echo "clang-tidy not found: skipped"
      exit 0
    fi
    # The compile commands are gcc's: clang does not know all of its warning options.
    core_sources | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet \
      --extra-arg=-Wno-unknown-warning-option
    ;;
  *)
    echo "usage: check_style.sh format | tidy BUILD" >&2
    exit 2
    ;;
esac
