#!/bin/sh
# The benchmark command: installs what is missing, builds Release, prepares the build's Wine
# prefix headless, runs every benchmark and prints their figures as one table: each timing as
# the median with the lowest and highest (min-max) of its runs, each ratio that of two medians
# measured side by side in the same run. Targets that are missed are reported, not failed. The
# machine's load average is printed with each benchmark: figures taken under load are noisy.
# The command fails only when a benchmark could not run.
# Usage: scripts/bench.sh [--x86] [build-folder]   (default build/release, the release preset's
# folder; with --x86 the x86 program's, build/release-x86)
set -e
cd "$(dirname "$0")/.."
preset=release
[ "${1:-}" = --x86 ] && { preset=release-x86; shift; }
build=${1:-build/$preset}
./scripts/deps.sh $([ $preset = release ] || echo --x86)
cmake --preset $preset -B "$build" -DLT_TESTS=ON >/dev/null
cmake --build "$build"
[ $preset = release ] || ./scripts/wine32-check.sh
./scripts/prefix.sh "$build" headless
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true' EXIT

results=$(mktemp)
failed=0
for name in tick build showgraph startup; do
  echo "== bench_$name (load average$(uptime | sed 's/.*load average//'))"
  if ! timeout 900 wine "$build/bin/bench_$name.exe" </dev/null >"$results.$name" 2>&1; then
    failed=1
    grep -q '^RESULT|.*|FAILED' "$results.$name" ||
      echo "RESULT|$name|did not finish|-|-|-|FAILED" >>"$results.$name"
  fi
  grep -v '^RESULT|' "$results.$name" || true
  grep '^RESULT|' "$results.$name" | tr -d '\r' >>"$results"
  rm -f "$results.$name"
done

echo
echo "Benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores, Debian $(cat /etc/debian_version 2>/dev/null)," \
     "$(wine --version 2>/dev/null), load average$(uptime | sed 's/.*load average//')"
echo "A is the operation under study, B its baseline in the same process: median (min-max) of the runs;"
echo "A/B the ratio of the medians."
awk -F'|' '
  BEGIN { printf "%-28s %-24s %-24s %-6s %-9s %s\n", "benchmark", "A", "B", "A/B", "target", "result" }
  $7 == "info" { printf "%-28s %s\n", $2, $3; next }
  $4 == "-" { printf "%-28s %s  (target %s): %s\n", $2, $3, $6, $7; next }
  { printf "%-28s %-24s %-24s %-6s %-9s %s\n", $2, $3, $4, $5, $6, $7 }
' "$results"
rm -f "$results"
exit $failed
