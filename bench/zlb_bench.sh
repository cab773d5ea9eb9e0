#!/usr/bin/env bash
# Packs, tests and extracts a generated corpus with `vantrel-cli zlb` and, in the same run, with
# zip -6 -r, unzip -t and unzip (the same deflate level), and prints times, peak memory and
# ratios. Extraction starts from an empty folder each time; unzip does not sync what it writes,
# vantrel-cli syncs it once at the end, and that sync is part of its time.
#
#   bench/zlb_bench.sh [SIZE_MB] [WORK_DIR]
#   VANTREL_CLI=path/to/vantrel-cli   (default: build/bin/vantrel-cli)
#   REPEAT=N                          runs per command, the fastest counts (default 1)
#
# The corpus is written once into WORK_DIR/corpus and kept for later runs of the same size.
set -euo pipefail
cd "$(dirname "$0")/.."

SIZE_MB=${1:-100}
WORK=${2:-${TMPDIR:-/tmp}/zlb-bench}
CLI=${VANTREL_CLI:-build/bin/vantrel-cli}
REPEAT=${REPEAT:-1}
CLI=$(realpath "$CLI")
for tool in zip unzip python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "zlb_bench: $tool is missing" >&2; exit 1; }
done

CORPUS=$WORK/corpus-$SIZE_MB
if [ ! -d "$CORPUS" ]; then
  echo "writing a corpus of $SIZE_MB MB into $CORPUS ..."
  python3 bench/zlb/make_corpus.py "$CORPUS" "$SIZE_MB"
fi
CORPUS_BYTES=$(du -sb "$CORPUS" | cut -f1)
CORPUS_FILES=$(find "$CORPUS" -type f | wc -l)

# Runs "$@" REPEAT times in $WORK; sets SECONDS_BEST and PEAK_KB (of that fastest run).
measure() {
  local before=$1; shift
  SECONDS_BEST=""
  PEAK_KB=""
  for ((r = 0; r < REPEAT; r++)); do
    eval "$before"
    (cd "$WORK" && /usr/bin/time -o "$WORK/time.txt" -f "%e %M" "$@" >/dev/null 2>"$WORK/stderr.txt") ||
      { echo "zlb_bench: $* failed:" >&2; cat "$WORK/stderr.txt" >&2; exit 1; }
    local s m
    read -r s m <"$WORK/time.txt"
    if [ -z "$SECONDS_BEST" ] || awk "BEGIN{exit !($s < $SECONDS_BEST)}"; then
      SECONDS_BEST=$s
      PEAK_KB=$m
    fi
  done
}

measure "rm -f '$WORK/bench.zlb'" "$CLI" zlb create bench.zlb "$CORPUS" --recurse --save-paths --level default
zlb_pack=$SECONDS_BEST zlb_pack_mem=$PEAK_KB
measure "rm -f '$WORK/bench.zip'" zip -6 -r -q bench.zip "$CORPUS"
zip_pack=$SECONDS_BEST zip_pack_mem=$PEAK_KB
measure ":" "$CLI" zlb test bench.zlb
zlb_test=$SECONDS_BEST zlb_test_mem=$PEAK_KB
measure ":" unzip -tq bench.zip
zip_test=$SECONDS_BEST zip_test_mem=$PEAK_KB
measure "rm -rf '$WORK/out-zlb' '$WORK/out-zip'" "$CLI" zlb extract bench.zlb -C out-zlb --with-path
zlb_extract=$SECONDS_BEST zlb_extract_mem=$PEAK_KB
measure "rm -rf '$WORK/out-zlb' '$WORK/out-zip'" unzip -q bench.zip -d out-zip
zip_extract=$SECONDS_BEST zip_extract_mem=$PEAK_KB
rm -rf "$WORK/out-zlb" "$WORK/out-zip"

zlb_size=$(stat -c %s "$WORK/bench.zlb")
zip_size=$(stat -c %s "$WORK/bench.zip")
awk -v cb="$CORPUS_BYTES" -v cf="$CORPUS_FILES" -v cores="$(nproc)" \
    -v zp="$zlb_pack" -v zpm="$zlb_pack_mem" -v ip="$zip_pack" -v ipm="$zip_pack_mem" \
    -v zt="$zlb_test" -v ztm="$zlb_test_mem" -v it="$zip_test" -v itm="$zip_test_mem" \
    -v ze="$zlb_extract" -v zem="$zlb_extract_mem" -v ie="$zip_extract" -v iem="$zip_extract_mem" \
    -v zs="$zlb_size" -v is="$zip_size" 'BEGIN {
  printf "corpus: %.1f MB in %d files; %d cores\n\n", cb / 1e6, cf, cores
  printf "%-28s %9s %10s %11s %10s\n", "", "seconds", "MB/s", "peak MiB", "size MB"
  printf "%-28s %9.2f %10.1f %11.1f %10.2f\n", "vantrel-cli zlb create", zp, cb / 1e6 / zp, zpm / 1024, zs / 1e6
  printf "%-28s %9.2f %10.1f %11.1f %10.2f\n", "zip -6 -r", ip, cb / 1e6 / ip, ipm / 1024, is / 1e6
  printf "%-28s %9.2f %10.1f %11.1f\n", "vantrel-cli zlb test", zt, cb / 1e6 / zt, ztm / 1024
  printf "%-28s %9.2f %10.1f %11.1f\n", "unzip -t", it, cb / 1e6 / it, itm / 1024
  printf "%-28s %9.2f %10.1f %11.1f\n", "vantrel-cli zlb extract", ze, cb / 1e6 / ze, zem / 1024
  printf "%-28s %9.2f %10.1f %11.1f\n", "unzip", ie, cb / 1e6 / ie, iem / 1024
  printf "\npack: zip / zlb = %.2fx   test: unzip / zlb = %.2fx   (above 1: zlb is faster)\n", ip / zp, it / zt
  printf "extract: zlb / unzip = %.2fx   (the time vantrel-cli takes for each second of unzip)\n", ze / ie
}'
