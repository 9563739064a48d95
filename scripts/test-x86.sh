#!/bin/sh
# The x86 half of the test command (scripts/test.sh runs it after the x64 suites): builds the
# x86 program Debug and Release, prepares a prefix for each and runs the product's suites
# against both. Each prefix also holds the test bed of the x64 build of its configuration (in
# its own registry view), for the tests across bitnesses: build/debug and build/release must
# be built first.
# Extra arguments go to ctest. Usage: scripts/test-x86.sh [ctest arguments]
set -e
cd "$(dirname "$0")/.."
for preset in debug-x86 release-x86; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "test-x86: Wine's 32-bit side (wine32:i386) is not installed, scripts/deps-x86.sh says why:" \
       "the x86 program is built but its suites did NOT run" >&2
  exit 1
fi
./scripts/prefix.sh build/debug-x86 headless build/debug
./scripts/prefix.sh build/release-x86 headless build/release
trap 'for b in debug-x86 release-x86; do WINEPREFIX="$PWD/build/$b/wineprefix" wineserver -k 2>/dev/null || true; done' EXIT
status=0
./scripts/ctest-retry.py debug-x86 "$@" || status=1
./scripts/ctest-retry.py release-x86 "$@" || status=1
exit $status
