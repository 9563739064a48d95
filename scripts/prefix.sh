#!/bin/sh
# Prepares the Wine prefix of a build folder: creates it once (win64, no Mono or Gecko),
# chooses the graphics driver, starts a persistent wineserver with its output detached
# and registers the test bed.  Usage: prefix.sh <build-dir> headless|display [<other-build-dir>]
# A second build folder of the other bitness registers its test bed in the same prefix too
# (each bitness in its own registry view): the x86 build's tests across bitnesses need both.
set -e
build=$(cd "$1" && pwd)
mode=${2:-headless}
other=${3:+$(cd "$3" && pwd)}
export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# A prefix made before Wine's 32-bit side was installed runs no 32-bit program ("could not load
# kernel32.dll"): its SysWOW64 stays empty. Once that side runs here it is made again.
lacks_32bit_side() {
  [ ! -f "$1/drive_c/windows/syswow64/kernel32.dll" ] && "$(dirname "$0")/wine32-check.sh" >/dev/null 2>&1
}
if [ -f "$WINEPREFIX/.lathmere-ready" ] && lacks_32bit_side "$WINEPREFIX"; then
  echo "Wine prefix $WINEPREFIX lacks the 32-bit side: making it again"
  wineserver -k 2>/dev/null || true
  rm -f "$WINEPREFIX/.lathmere-ready"
fi

# A new prefix is the same for every build folder: wineboot makes one once per checkout, in
# build/wineprefix-fresh (about 16 s here), and each build folder gets a copy (half a second).
if [ ! -f "$WINEPREFIX/.lathmere-ready" ]; then
  fresh="$(cd "$(dirname "$0")/.." && pwd)/build/wineprefix-fresh"
  if [ ! -f "$fresh/.lathmere-ready" ] || lacks_32bit_side "$fresh"; then
    echo "Creating a new Wine prefix in $fresh"
    rm -rf "$fresh" "$fresh.$$"
    mkdir -p "$(dirname "$fresh")"
    WINEPREFIX="$fresh.$$" DISPLAY= wineboot -i </dev/null >/dev/null 2>&1
    WINEPREFIX="$fresh.$$" wineserver -w
    touch "$fresh.$$/.lathmere-ready"
    # Another run that made one meanwhile keeps its own.
    mv -T "$fresh.$$" "$fresh" 2>/dev/null || rm -rf "$fresh.$$"
  fi
  echo "Creating Wine prefix $WINEPREFIX (a copy of $fresh)"
  rm -rf "$WINEPREFIX"
  cp -a "$fresh" "$WINEPREFIX"
fi

# Headless: windows, dialogs and cross-process messages work without an X server.
if [ "$mode" = headless ]; then
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  wine reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f </dev/null >/dev/null 2>&1 || true
else
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f </dev/null >/dev/null 2>&1 || true
  # Wine's own desktop window: windows get their frames without a window manager.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f </dev/null >/dev/null 2>&1
fi
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

# A persistent server whose stdio is not ctest's pipe (otherwise ctest waits for it forever).
wineserver -p </dev/null >/dev/null 2>&1
# The first Wine process starts the prefix's services; start them here, detached, not from a test.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
if [ -n "$other" ]; then
  if [ -f "$other/bin/tbsetup.exe" ]; then
    wine "$other/bin/tbsetup.exe" </dev/null
  else
    echo "prefix.sh: $other/bin/tbsetup.exe not built; its test bed not registered" >&2
  fi
fi
if [ -f "$build/bin/tbsetup.exe" ]; then
  wine "$build/bin/tbsetup.exe" </dev/null
else
  echo "prefix.sh: $build/bin/tbsetup.exe not built; test bed not registered" >&2
fi
