#!/bin/sh
# Whether this machine starts 32-bit x86 programs: exit 0 if it does, 1 if
# not, saying why. Some hosts run 64-bit user code only (their kernel logs
# "IA-32 emulation off"; a 32-bit program gets "Exec format error"): there
# Wine's 32-bit loader cannot start, and neither can the shipped i686
# programs, while the x86_64 build runs under Wine's 64-bit loader. Found out
# by starting a program of a few bytes that only exits, never by a test
# failing. CORVANE_NO_32_BIT=1 makes it answer no, to show such a machine's
# test run on one that has both.
set -eu
if [ "${CORVANE_NO_32_BIT:-0}" = 1 ]; then
    echo "this machine is taken to run no 32-bit programs (CORVANE_NO_32_BIT=1)" >&2
    exit 1
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
# exit(0) through the i386 system call gate.
printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$probe/exit.s"
if ! as --32 -o "$probe/exit.o" "$probe/exit.s" || ! ld -m elf_i386 -o "$probe/exit" "$probe/exit.o"; then
    echo "runs-32-bit: cannot assemble the probe (binutils missing?)" >&2
    exit 2
fi
if ! "$probe/exit" 2>/dev/null; then
    echo "this machine runs no 32-bit programs (its kernel runs 64-bit user code only)" >&2
    exit 1
fi
