#!/bin/bash
# Runs the test command (scripts/test.sh) on Debian 13 from a Debian 12 machine, as root: in a
# Debian 13 (trixie) root made once with debootstrap and kept outside the clone
# ($LT_DEBIAN13_ROOT, default /var/cache/lathmere/debian13), into which the current checkout
# (its tracked and untracked files, not build folders) is copied afresh at /root/lathmere.
# The packages test.sh installs stay in the root, and so does the root's own build folder
# (Ninja rebuilds what changed), so a second run is quick; --clean starts that build afresh.
#
#   scripts/test-debian13.sh [--clean] [ctest arguments]   the test command
#   scripts/test-debian13.sh [--clean] --run                the run command (walk and screenshots,
#                                                          copied out to build/debian13-screenshots)
#
# /proc, /sys, /dev, /dev/pts and a private /dev/shm are mounted for the run and unmounted
# afterwards, also on failure or interrupt. The run gets a clean environment: nothing of the
# host's (ccache, DISPLAY, WINEPREFIX) reaches it.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(realpath -m "${LT_DEBIAN13_ROOT:-/var/cache/lathmere/debian13}")"
clean=0 command=(./scripts/test.sh)
[ "${1:-}" = --clean ] && { clean=1; shift; }
[ "${1:-}" = --run ] && { command=(./scripts/run.sh); shift; }
[ "$(id -u)" -eq 0 ] || { echo "test-debian13: run as root (debootstrap, chroot, mount)" >&2; exit 2; }

started=$(date +%s)
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock -n 9 || { echo "test-debian13: $root is in use by another run" >&2; exit 2; }

mounted=()
unmount_all() {
  # Whatever is still running in the root (an interrupted wineserver or Xvfb) holds /dev.
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill -9 "${proc#/proc/}" 2>/dev/null || true
  done
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
  done
  mounted=()
}
finish() {
  local status=$?
  unmount_all
  local seconds=$(($(date +%s) - started))
  local result=passed; [ "$status" -eq 0 ] || result="FAILED (exit $status)"
  printf 'test-debian13: %s in %dm%02ds (%s)\n' "$result" $((seconds / 60)) $((seconds % 60)) "${command[*]}"
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

no_mounts_under_root() { ! grep -q " $root/" /proc/mounts; }

make_root() {
  [ -f "$root/.lathmere-root-ready" ] && return
  no_mounts_under_root || { echo "test-debian13: something is mounted under $root" >&2; exit 1; }
  if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends debootstrap >/dev/null
  fi
  echo "test-debian13: making a Debian 13 root in $root (debootstrap, a few minutes)"
  rm -rf --one-file-system "$root"
  debootstrap --variant=minbase --arch=amd64 trixie "$root" >"$root.debootstrap.log" 2>&1 ||
    { tail -20 "$root.debootstrap.log" >&2; exit 1; }
  # No package's service starts inside the root.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  touch "$root/.lathmere-root-ready"
}

copy_checkout() {
  local dest="$root/root/lathmere"
  mkdir -p "$dest"
  [ "$clean" -eq 1 ] && rm -rf --one-file-system "$dest/build"
  find "$dest" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf --one-file-system {} +
  # Tracked and untracked files as they are in the working tree (a deleted file stays out).
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do if [ -e "$f" ]; then printf '%s\0' "$f"; fi; done |
    tar -cf - --null --no-recursion -T - | tar -xf - -C "$dest"
}

mount_for_run() {
  no_mounts_under_root || { echo "test-debian13: something is already mounted under $root" >&2; exit 1; }
  mount -t proc proc "$root/proc" && mounted+=("$root/proc")
  mount -t sysfs sysfs "$root/sys" && mounted+=("$root/sys")
  mount --bind /dev "$root/dev" && mounted+=("$root/dev")
  mount --bind /dev/pts "$root/dev/pts" && mounted+=("$root/dev/pts")
  mount -t tmpfs -o mode=1777 shm "$root/dev/shm" && mounted+=("$root/dev/shm")
}

make_root
copy_checkout
cp /etc/resolv.conf "$root/etc/resolv.conf"
find "$root/tmp" -mindepth 1 -delete
mount_for_run
echo "test-debian13: Debian $(cat "$root/etc/debian_version") in $root, running ${command[*]} $*"
# In the background, so that an interrupt or TERM is handled at once (the trap ends what runs).
env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 TERM="${TERM:-dumb}" \
  chroot "$root" /bin/sh -c 'cd /root/lathmere && exec "$@"' sh "${command[@]}" "$@" &
wait $!
if [ "${command[0]}" = ./scripts/run.sh ]; then
  rm -rf build/debian13-screenshots
  mkdir -p build
  cp -r "$root/root/lathmere/build/debug/screenshots" build/debian13-screenshots
  echo "test-debian13: screenshots copied to build/debian13-screenshots"
fi
