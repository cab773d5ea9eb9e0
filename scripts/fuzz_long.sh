#!/usr/bin/env bash
# Runs every libFuzzer target for a longer while than the test run's brief one (10 minutes each
# unless told otherwise), with the corpus kept in the repository: fuzz/corpus/<target> gathers
# the inputs that reached new code (merged down to those that still add coverage after each
# run) and is fed back in on the next run, beside the target's seeds. A crash is kept as fuzz/crashes/<target>-crash-<hash> for a test to replay.
#
#   scripts/fuzz_long.sh [SECONDS_PER_TARGET] [TARGET...]
#   VANTREL_BUILD_DIR=build   the fuzz build goes to $VANTREL_BUILD_DIR-fuzz
#   FUZZ_JOBS=1               libFuzzer jobs per target (on a shared machine keep it low)
#
# Prints one line per target (runs, runs per second, coverage, corpus size, result) and exits 1
# when any target crashed or leaked. Two runs with disjoint target lists may share the machine's
# cores: start the second once the first has built.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET=${1:-600}
shift || true
BUILD=${VANTREL_BUILD_DIR:-build}-fuzz
JOBS=${FUZZ_JOBS:-1}
ROOT=$PWD

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_FUZZ=ON \
  -DVANTREL_GUI=OFF -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target vantrel_fuzzers

MANIFEST="$BUILD/fuzz/targets.tsv"
[ -s "$MANIFEST" ] || { echo "fuzz_long: no target list at $MANIFEST" >&2; exit 1; }
LOGS="$BUILD/fuzz/long-run"
mkdir -p "$LOGS" fuzz/crashes
failed=0
summary=()

while IFS=$'\t' read -r name program dictionary seeds; do
  if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
  corpus="fuzz/corpus/$name"
  mkdir -p "$corpus"
  seed_dir=$(mktemp -d)
  IFS='|' read -r -a seed_files <<<"$seeds"
  cp "${seed_files[@]}" "$seed_dir"/
  options=(-max_total_time="$SECONDS_PER_TARGET" -rss_limit_mb=2048 -malloc_limit_mb=512
    -artifact_prefix="$ROOT/fuzz/crashes/$name-" -print_final_stats=1)
  [ "$dictionary" != "-" ] && options+=(-dict="$dictionary")
  [ "$JOBS" -gt 1 ] && options+=(-jobs="$JOBS" -workers="$JOBS")
  log="$LOGS/$name.log"
  echo "== $name: $SECONDS_PER_TARGET s, corpus $corpus ($(find "$corpus" -type f | wc -l) inputs)"
  set +e
  ASAN_OPTIONS=detect_leaks=1 "$program" "${options[@]}" "$corpus" "$seed_dir" >"$log" 2>&1
  code=$?
  set -e
  rm -rf "$seed_dir"
  # Only inputs that add coverage stay in the repository's corpus.
  merged=$(mktemp -d)
  if "$program" -merge=1 "$merged" "$corpus" >>"$log" 2>&1; then
    rm -rf "$corpus"
    mv "$merged" "$corpus"
  else
    rm -rf "$merged"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  result=ok
  if [ "$code" -ne 0 ]; then
    result="CRASH (exit $code, see $log)"
    failed=1
  fi
  summary+=("$(printf '%-16s runs %-10s exec/s %-7s cov %-6s corpus %-6s %s' "$name" "${runs:-?}" \
    "${speed:-?}" "${cov:-?}" "$(find "$corpus" -type f | wc -l)" "$result")")
done <"$MANIFEST"

echo "== fuzz_long: $SECONDS_PER_TARGET s per target"
printf '%s\n' "${summary[@]}"
exit "$failed"
