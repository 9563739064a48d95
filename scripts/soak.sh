#!/bin/sh
# The soak command: installs what is missing, builds Debug, prepares the build's Wine prefix
# headless and runs soak.exe, which drives one LathmereTest.exe through the given number of
# rounds (build, play, pause, play, stop, show graph, rebuild) and fails on resource growth.
# Usage: scripts/soak.sh [cycles [build-folder [no-stream] [no-show-graph]]]
#        (defaults: 300, build/debug, every step; a step left out shows what growth it causes)
set -e
cd "$(dirname "$0")/.."
cycles=${1:-300}
build=${2:-build/debug}
if [ $# -ge 2 ]; then shift 2; else shift $#; fi
./scripts/deps.sh
cmake --preset debug -B "$build" >/dev/null
cmake --build "$build"
./scripts/prefix.sh "$build" headless
trap 'WINEPREFIX="$PWD/$build/wineprefix" wineserver -k 2>/dev/null || true' EXIT
"$build/wine-run.sh" "$build/bin/soak.exe" "$cycles" "$@" </dev/null
