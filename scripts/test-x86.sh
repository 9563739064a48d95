#!/bin/sh
# The x86 half of the test command (scripts/test.sh runs it after the x64 suites): builds the
# x86 program Debug and Release, prepares a prefix for each and runs the product's suites
# against both. Each prefix also holds the test bed of the x64 build of its configuration (in
# its own registry view), for the tests across bitnesses: build/debug and build/release must
# be built first.
# Extra arguments go to ctest. Usage: scripts/test-x86.sh [ctest arguments]
set -e
cd "$(dirname "$0")/.."
# Where Wine cannot run x86 programs at all, the suites cannot run: the program and the test
# bed are still built, the tests not; said plainly, and a failure only when LT_X86_REQUIRED=1
# (the x64 suites' result stands alone otherwise).
runs=yes
why=$(./scripts/wine32-check.sh) || runs=no
for preset in debug-x86 release-x86; do
  cmake --preset $preset -DLT_TESTS=$([ $runs = yes ] && echo ON || echo OFF) >/dev/null
  cmake --build --preset $preset
done
if [ $runs = no ]; then
  echo "test-x86: the x86 suites did NOT run: $why. The x86 program and the test bed are built, the tests not." >&2
  [ "${LT_X86_REQUIRED:-0}" = 1 ] && exit 1
  exit 0
fi
./scripts/prefix.sh build/debug-x86 headless build/debug
./scripts/prefix.sh build/release-x86 headless build/release
. ./scripts/keeper.sh
trap 'keeper_stop_all; for b in debug-x86 release-x86; do WINEPREFIX="$PWD/build/$b/wineprefix" wineserver -k 2>/dev/null || true; done' EXIT
trap 'exit 130' INT TERM
keeper_start build/debug-x86
keeper_start build/release-x86
status=0
./scripts/ctest-run.py debug-x86 "$@" || status=1
./scripts/ctest-run.py release-x86 "$@" || status=1
exit $status
