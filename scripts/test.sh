#!/bin/sh
# The test command: installs what is missing, builds Debug (and Release, which must build too),
# fuzzes the .grf parser briefly, prepares the Wine prefix and runs every test under Wine.
set -e
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake --preset debug >/dev/null
cmake --build --preset debug
cmake --preset release >/dev/null
cmake --build --preset release
# The .grf parser, natively under ASan/UBSan: its corpus once, then a minute of fuzzing.
./scripts/fuzz.sh 60
./scripts/prefix.sh build/debug headless
trap 'WINEPREFIX="$PWD/build/debug/wineprefix" wineserver -k 2>/dev/null || true' EXIT
# Wine 8 now and then fails a CreateProcessW with ERROR_INTERNAL_ERROR (1359) for no reason
# of ours (seen twice in a day of runs here); a failed test gets one more run, so a
# real failure still fails, twice.
ctest --preset debug --repeat until-pass:2 "$@"
