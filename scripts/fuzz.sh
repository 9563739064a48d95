#!/bin/sh
# Fuzzes the .grf stream parser natively (libFuzzer, ASan, UBSan) for the given seconds
# (default 60): builds fuzz/ into build/fuzz with clang, runs every committed corpus file
# once, then fuzzes from a fresh copy of the corpus in a temporary folder (nothing it finds
# is added to fuzz/corpus by itself). Exits non-zero on any crash, sanitizer report, hang,
# or broken property; the reproducer is left in build/fuzz/artifacts/ (put it in
# fuzz/corpus/regressions/ with the fix).
set -e
cd "$(dirname "$0")/.."
seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [seconds]" >&2; exit 2 ;;
esac

./scripts/deps.sh
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz

build/fuzz/grf_corpus_check fuzz/corpus/seeds fuzz/corpus/regressions

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp fuzz/corpus/seeds/* "$work"/
find fuzz/corpus/regressions -type f ! -name README.md -exec cp {} "$work"/ \;
mkdir -p build/fuzz/artifacts
log=build/fuzz/fuzz.log
echo "Fuzzing for $seconds s (log: $log)"
status=0
build/fuzz/grf_fuzz -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -max_len=16384 \
  -print_final_stats=1 -dict=fuzz/grf.dict -artifact_prefix=build/fuzz/artifacts/ "$work" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  # The report without progress lines and ASan's shadow map; it ends naming the input.
  grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|RELOAD)|^  0x|^Shadow|^  [A-Z][A-Za-z -]*: +[0-9a-f ]+$' "$log"
  echo "grf_fuzz FAILED (exit $status); reproducer in build/fuzz/artifacts/" >&2
  exit "$status"
fi
grep -E '^#[0-9]+[[:space:]]+DONE|^stat::' "$log"
