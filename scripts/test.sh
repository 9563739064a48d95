#!/bin/sh
# The test command: installs what is missing, builds Debug and Release, checks the product's
# sources with a second compiler (clang), fuzzes the .grf parser briefly, prepares a Wine
# prefix per build and runs every test against Debug and the product's suites against Release.
# Extra arguments go to both ctest runs (e.g. -R BuildGraph).
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh --x86
cmake --preset debug >/dev/null
cmake --build --preset debug
cmake --preset release >/dev/null
cmake --build --preset release
# The product's sources with clang for the same target, in both configurations' flags.
./scripts/clang-check.py build/debug
./scripts/clang-check.py build/release
# The .grf parser, natively under ASan/UBSan: its corpus once, then a minute of fuzzing, on one
# core; the Wine prefixes are prepared on the other meanwhile.
./scripts/fuzz.sh 60 &
fuzzing=$!
trap 'kill $fuzzing 2>/dev/null || true' EXIT
./scripts/prefix.sh build/debug headless
./scripts/prefix.sh build/release headless
wait $fuzzing
. ./scripts/keeper.sh
trap 'keeper_stop_all; for b in debug release; do WINEPREFIX="$PWD/build/$b/wineprefix" wineserver -k 2>/dev/null || true; done' EXIT
trap 'exit 130' INT TERM
keeper_start build/debug
keeper_start build/release
status=0
./scripts/ctest-run.py debug "$@" || status=1
# Release: the suites the release preset's label filter picks (the product's, and the
# assertions' Release branch).
# A filter given on the command line may match none of them.
if [ $# -gt 0 ]; then set -- --no-tests=ignore "$@"; fi
./scripts/ctest-run.py release "$@" || status=1
# The x86 program: its own builds, prefixes and runs of the product's suites.
./scripts/test-x86.sh "$@" || status=1
exit $status
