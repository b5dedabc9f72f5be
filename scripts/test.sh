#!/bin/sh
# Every test: installs what is missing, then builds and runs the native core
# under the sanitizers (with a bounded fuzzing run) and the Windows build
# under Wine (unit, component, end-to-end and image tests).
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows
