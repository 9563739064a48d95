#!/bin/sh
# The run command: installs what is missing, builds, prepares the Wine prefix and starts
# LathmereTest.exe on the default graph (C:\CVS\Dev\Filters\MPEG-4\Lathmere\Graphs\Tavrel-Lathmere.GRF
# inside the prefix). With a display the dialog opens there. Without one it runs on a virtual
# display (Xvfb), walks the main road (build, play a few seconds, stop, show graph, close) and
# saves screenshots in build/debug/screenshots.
# --x86: the same with the x86 program (for writers built for 32 bits), in build/debug-x86.
set -e
cd "$(dirname "$0")/.."
preset=debug
[ "${1:-}" = --x86 ] && preset=debug-x86
./scripts/deps.sh ${1:-}
cmake --preset $preset >/dev/null
cmake --build --preset $preset
build=build/$preset
[ $preset = debug ] || ./scripts/wine32-check.sh
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_all() {
  wineserver -k 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap stop_all EXIT

if [ -n "${DISPLAY:-}" ]; then
  ./scripts/prefix.sh $build display
  wine $build/bin/LathmereTest.exe
  exit 0
fi

# No display: a virtual one, and Wine's own desktop window so the dialog has its frame.
display=:$(( 90 + $$ % 9 ))
Xvfb $display -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
sleep 1
./scripts/prefix.sh $build display
shots=$build/screenshots
mkdir -p $shots
shot() { sleep 0.5; import -window root "$shots/$1.png"; echo "  screenshot: $shots/$1.png"; }
walk() { wine $build/bin/walk.exe "$@"; }

echo "What the default graph holds:"
wine $build/bin/graphprobe.exe || true
echo "Starting LathmereTest.exe on display $display"
wine $build/bin/LathmereTest.exe &
app_pid=$!
walk wait
shot 1-started
walk build
shot 2-built
walk play
for i in 1 2 3 4; do sleep 1; walk written; done
shot 3-playing
walk stop
walk written
shot 4-stopped
walk show
shot 5-graphedit
walk close
wait $app_pid || true
echo "LathmereTest.exe ended; screenshots in $shots"
