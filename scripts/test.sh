#!/usr/bin/env bash
# Sets up, builds and runs every test headless: the layout check, one build of everything under
# AddressSanitizer + UndefinedBehaviorSanitizer with warnings as errors and the whole suite run
# in it (the GUI and the browser engine's windows included), clang-tidy over the core, and a
# short libFuzzer run of every reader of outside bytes. The test build also replays every fuzz
# target's seeds (the *_seeds tests).
#
# One sanitized build instead of a plain one and a sanitized one: every test still runs, each
# under the sanitizers, and the suite costs one build of the Qt and WebEngine code, not two.
# The tool itself (scripts/run.sh) is built without sanitizers in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=${VANTREL_BUILD_DIR:-build}
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1
# Line tables only: every backtrace and sanitizer report still names file and line, and the
# compiler and linker have far less to write.
LINES_ONLY=-g1
FUZZ_SECONDS=10

echo "== layout of the sources (.clang-format)"
bash scripts/check_style.sh format

echo "== build and test under ASan + UBSan: $BUILD-asan"
# The options hold for the build too, which runs the sanitized vantrel-make-proto. The leak
# suppressions name the libraries (the browser engine, udev, fontconfig) that keep their
# allocations for the life of a process; whatever our code leaks is still reported. Programs
# that embed the engine also leave out the one check Chromium trips in its own code
# (cmake/sanitizers/BrowserEngineAsanOptions.cpp).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/cmake/sanitizers/lsan-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# -O1 keeps the optimiser's warnings (-Werror) and runs the suite faster than -O0; without
# NDEBUG every assertion holds as well.
cmake -S . -B "$BUILD-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_SANITIZE=ON \
  -DVANTREL_WERROR=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 $LINES_ONLY" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 $LINES_ONLY" >/dev/null
cmake --build "$BUILD-asan" -j "$JOBS"
ctest --test-dir "$BUILD-asan" -j "$JOBS" --timeout 600
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

echo "== clang-tidy over the core (.clang-tidy)"
bash scripts/check_style.sh tidy "$BUILD-asan"

echo "== fuzz targets, briefly: $BUILD-fuzz"
cmake -S . -B "$BUILD-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_FUZZ=ON \
  -DVANTREL_GUI=OFF -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 $LINES_ONLY -DNDEBUG" \
  -DVANTREL_FUZZ_SECONDS="$FUZZ_SECONDS" >/dev/null
# Only what the fuzz runs need: the other programs are built by the test build above.
cmake --build "$BUILD-fuzz" -j "$JOBS" --target vantrel_fuzzers
ctest --test-dir "$BUILD-fuzz" -j "$JOBS" --timeout 600
