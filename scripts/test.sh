#!/usr/bin/env bash
# Sets up, builds and runs every test headless: the layout check, the full build with all
# tests, clang-tidy over the core, everything
# once more under AddressSanitizer + UndefinedBehaviorSanitizer (the GUI and the browser
# engine's windows included), and a short libFuzzer run of every reader of outside bytes.
# Both gcc builds also replay every fuzz target's seeds (the *_seeds tests).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=${VANTREL_BUILD_DIR:-build}
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

echo "== layout of the sources (.clang-format)"
bash scripts/check_style.sh format

echo "== build and test: $BUILD"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_WERROR=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS"
ctest --test-dir "$BUILD" -j "$JOBS" --timeout 600

echo "== clang-tidy over the core (.clang-tidy)"
bash scripts/check_style.sh tidy "$BUILD"

echo "== everything under ASan + UBSan: $BUILD-asan"
# The options hold for the build too, which runs the sanitized vantrel-make-proto. The leak
# suppressions name the libraries (the browser engine, udev, fontconfig) that keep their
# allocations for the life of a process; whatever our code leaks is still reported. Programs
# that embed the engine also leave out the one check Chromium trips in its own code
# (cmake/sanitizers/BrowserEngineAsanOptions.cpp).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/cmake/sanitizers/lsan-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B "$BUILD-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON \
  -DVANTREL_BENCH=OFF -DVANTREL_WERROR=ON >/dev/null
cmake --build "$BUILD-asan" -j "$JOBS"
ctest --test-dir "$BUILD-asan" -j "$JOBS" --timeout 600
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

echo "== fuzz targets, briefly: $BUILD-fuzz"
cmake -S . -B "$BUILD-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_FUZZ=ON \
  -DVANTREL_GUI=OFF -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
# Only what the fuzz runs need: the other programs are built by the two builds above.
cmake --build "$BUILD-fuzz" -j "$JOBS" --target vantrel_fuzzers
ctest --test-dir "$BUILD-fuzz" -j "$JOBS" --timeout 600
