#!/bin/sh
# The run command: installs what is missing, builds, prepares the Wine prefix and builds the
# default graph (C:\CVS\Dev\Filters\MPEG-4\Lathmere\Graphs\Tavrel-Lathmere.GRF in the prefix),
# printing what it holds and whether the Lathmere writer is in it.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug
./scripts/prefix.sh build/debug headless
trap 'WINEPREFIX="$PWD/build/debug/wineprefix" wineserver -k 2>/dev/null || true' EXIT
build/debug/wine-run.sh build/debug/bin/graphprobe.exe "$@"
