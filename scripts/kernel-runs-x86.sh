#!/bin/sh
# Exits 0 when this machine's kernel runs 32-bit x86 programs, 1 when it does not (some virtual
# machines' kernels have IA-32 emulation off: execve then fails with "Exec format error").
# Wine's 32-bit side is such a program, so without this nothing x86 runs here. The probe is the
# smallest i386 ELF program: one segment whose code calls exit(42) through int 0x80.
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
# ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054, one program header.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000' >>"$probe"
# Program header: the whole file (96 bytes) loaded read+execute at 0x08048000.
printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
# mov eax, 1 (exit); mov ebx, 42; int 0x80
printf '\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
[ $? -eq 42 ]
