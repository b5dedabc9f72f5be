#!/bin/sh
# Every test: installs what is missing, lints, then builds and runs
#  - the platform-neutral core natively under ASan/UBSan, with a bounded
#    fuzzing run;
#  - the Windows build (MinGW-w64 GCC) under Wine: unit, component,
#    end-to-end and image tests;
#  - the same sources built by clang for the same target, warning-free, its
#    launcher and stand-in put through the end-to-end and image tests.
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/lint.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows

cmake --preset windows-clang >/dev/null
cmake --build --preset windows-clang
ctest --preset windows-clang
