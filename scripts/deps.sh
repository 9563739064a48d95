#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need, if any is missing.
# Usage: deps.sh [--x86]
# (clang: the fuzzer and the second compiler's check; python3: the test command's helpers.)
# clang is the release's own (the unversioned packages: clang 14 on Debian 12, 19 on 13), so
# nothing here names a version that only one release has; scripts call it as clang++.
# wine64-preloader: Wine's own start of a 64-bit process, which Debian only suggests. Without
# it Wine claims its fixed addresses only after the C library has started, and a kernel that
# starts a program's heap anywhere in the gigabyte after it (as newer ones do) puts the
# loader's heap on the page Wine must map at 0x7ffe0000 about once in 7,700 starts: the
# process then exits with status 1 before it runs anything, silently unless WINEDEBUG shows
# errors ("failed to map the shared user data"), and a Windows parent's CreateProcessW fails
# with error 1359. The preloader reserves those addresses before anything else is mapped.
set -e
PACKAGES="g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 wine64-preloader cmake ninja-build googletest xvfb xauth imagemagick clang libclang-rt-dev python3"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# --x86: also the x86 build's compiler and Wine's 32-bit side. The x64 program needs neither, so
# a failure there (said plainly by deps-x86.sh) stops only what needs the x86 side.
if [ "${1:-}" = --x86 ]; then
  "$(dirname "$0")/deps-x86.sh" || echo "deps.sh: the x86 side is incomplete (see above)" >&2
fi
