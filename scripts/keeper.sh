# Sourced by the test command. keeper_start <build-dir> starts testbed/keeper's keeper.exe in
# that build's Wine prefix, detached from every pipe, and waits until its window exists: Wine's
# desktop process is then up, started outside any test's output pipe, and stays up for the
# whole run (otherwise each test starts it, and ctest waits about a second for it to let go of
# the test's pipe). keeper_stop_all ends the keepers started, and only them.
keeper_pids=""

keeper_start() {
  ready="$PWD/$1/wineprefix/keeper-ready"
  rm -f "$ready"
  WINEPREFIX="$PWD/$1/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wine "$1/bin/keeper.exe" "Z:$ready" </dev/null >/dev/null 2>&1 &
  keeper_pids="$keeper_pids $!"
  waited=0
  while [ ! -f "$ready" ]; do
    if [ $waited -ge 300 ] || ! kill -0 $! 2>/dev/null; then
      echo "keeper.exe did not start in $1/wineprefix" >&2
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
}

keeper_stop_all() {
  for pid in $keeper_pids; do
    kill "$pid" 2>/dev/null || true
  done
  keeper_pids=""
}
