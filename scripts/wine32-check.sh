#!/bin/sh
# Exits 0 when Wine's 32-bit side can run x86 Windows programs here; otherwise says why and
# exits 1. That side is a 32-bit Linux program: it needs the i386 package wine32 and a kernel
# that runs 32-bit code, which some virtual machines' kernels do not (kernel-runs-x86.sh).
loader=/usr/lib/wine/wine
if ! "$(dirname "$0")/kernel-runs-x86.sh"; then
  echo "this machine's kernel runs no 32-bit programs (IA-32 emulation off), so neither does Wine's 32-bit side"
  exit 1
fi
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  echo "Wine's 32-bit side (wine32:i386) is not installed; scripts/deps-x86.sh says why"
  exit 1
fi
if ! error=$("$loader" --version 2>&1 >/dev/null); then
  echo "Wine's 32-bit side is installed but does not run here: ${error:-"$loader failed"}"
  exit 1
fi
