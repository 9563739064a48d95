#!/bin/sh
# Installs what the x86 build needs beside the x64 one, if any is missing: mingw-w64's i686
# compiler and Wine's 32-bit side (wine32, an i386 package, so the machine gets the i386
# architecture first), with its preloader as for the 64-bit side (deps.sh says why).
#
# Multiarch needs every shared library at one version for both architectures. A package list
# that failed to arrive (a mirror in the middle of a sync) leaves the i386 libraries behind
# their amd64 twins, and amd64 libraries installed long ago can lag the i386 ones on offer:
# either way wine32 cannot be installed. So the lists are fetched again until all arrive, the
# amd64 twins are upgraded when the install meets a mismatch, and what still stands in the way
# is named.
set -e
export DEBIAN_FRONTEND=noninteractive
NATIVE="g++-mingw-w64-i686-posix binutils-mingw-w64-i686"
FOREIGN="wine32:i386 wine32-preloader:i386"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

update_lists() {
  for attempt in 1 2 3; do
    apt-get update -qq --error-on=any && return 0
    echo "deps-x86: apt-get update failed (attempt $attempt of 3)" >&2
    [ $attempt -lt 3 ] && sleep $((attempt * 10))
  done
  echo "deps-x86: some package lists could not be fetched; going on with those that arrived" >&2
}

try_install() {
  apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=600 "$@" >/dev/null
}

# The installed amd64 libraries ("Multi-Arch: same") whose i386 twins wine32 needs, with their
# versions, in $tmp.inst.
list_twins() {
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
      --no-replaces --no-enhances $FOREIGN 2>/dev/null | sed -n 's/^\([a-z0-9][^ ]*\):i386$/\1/p' |
    sort -u >"$tmp.needed"
  dpkg-query -W -f='${Package} ${Architecture} ${Multi-Arch} ${db:Status-Abbrev} ${Version}\n' |
    awk '$2 == "amd64" && $3 == "same" && $4 == "ii" { print $1, $5 }' | sort |
    join - "$tmp.needed" >"$tmp.inst"
}

# Names each of those whose i386 package on offer differs from the amd64 one installed.
explain_mismatch() {
  # shellcheck disable=SC2046  # one argument per package
  apt-cache policy $(awk '{ print $1 ":i386" }' "$tmp.inst") 2>/dev/null |
    awk '/^[^ ].*:i386:$/ { name = substr($1, 1, length($1) - 6) }
         $1 == "Candidate:" && $2 != "(none)" { print name, $2 }' | sort >"$tmp.cand"
  join "$tmp.inst" "$tmp.cand" |
    awk '$2 != $3 { printf "deps-x86:   %s: amd64 %s installed, i386 %s on offer\n", $1, $2, $3 }' >&2
}

missing=""
for p in $NATIVE; do installed "$p" || missing="$missing $p"; done
foreign=""
for p in $FOREIGN; do installed "$p" || foreign="$foreign $p"; done
# Wine's 32-bit side is a 32-bit Linux program: on a kernel that runs none, installing it (the
# i386 architecture, a second set of package lists) would take minutes and give nothing.
if [ -n "$foreign" ] && ! "$(dirname "$0")/kernel-runs-x86.sh"; then
  echo "deps-x86: not installing$foreign: this machine's kernel runs no 32-bit programs (IA-32 emulation off)" >&2
  foreign=""
  no_foreign=1
fi
[ -n "$missing$foreign" ] || exit ${no_foreign:-0}
tmp=$(mktemp)
trap 'rm -f "$tmp" "$tmp".*' EXIT

if [ -n "$foreign" ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "deps-x86: adding the i386 architecture (for Wine's 32-bit side)"
  dpkg --add-architecture i386
fi
echo "Installing:$missing$foreign"
update_lists
# The compiler is an amd64 package: it does not wait for the i386 side.
# shellcheck disable=SC2086
[ -z "$missing" ] || try_install $missing
[ -n "$foreign" ] || exit ${no_foreign:-0}
# shellcheck disable=SC2086
try_install $foreign && exit 0

echo "deps-x86: the install failed; upgrading the amd64 libraries that lag their i386 twins" >&2
list_twins
# shellcheck disable=SC2046
[ ! -s "$tmp.inst" ] || try_install --only-upgrade $(awk '{ print $1 ":amd64" }' "$tmp.inst") || true
# shellcheck disable=SC2086
try_install $foreign && exit 0

echo "deps-x86: could not install$foreign." >&2
echo "deps-x86: multiarch needs these libraries at one version for amd64 and i386:" >&2
list_twins
explain_mismatch
echo "deps-x86: an i386 version older than amd64 means the i386 lists lag (one failed to" >&2
echo "deps-x86: arrive, or a mirror is in the middle of a sync): run apt-get update again later." >&2
exit 1
