#!/bin/sh
# Prints the launch benchmark's figures (medians over RUNS launches, default 7).
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target launch_benchmark corvane-r >/dev/null
wine_run=build/windows/wine-run.sh
"$wine_run" --start-server
trap '"$wine_run" --stop-server' EXIT
"$wine_run" build/windows/bench/launch_benchmark.exe "${1:-7}"
echo
scripts/footprint.sh build/windows
