#!/bin/sh
# Prints the launch benchmark's figures (medians over RUNS launches, default
# 7), for the launcher as shipped and for one built without the pipe-server
# check, whose cost shows as the difference in "pipe opened to first message";
# then what the connection handler adds to a launch (PAIRS pairs, default
# 15), and what checking a signed file's signature adds to the handler's.
#   bench.sh [RUNS [PAIRS]]
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target launch_benchmark handler_benchmark corvane-r \
    corvane-r-unchecked corvane-r-open client-standin >/dev/null
wine_run=build/windows/wine-run.sh
"$wine_run" --start-server
trap '"$wine_run" --stop-server' EXIT
echo "corvane-r.exe (pipe-server check on):"
"$wine_run" build/windows/bench/launch_benchmark.exe "${1:-7}"
echo
echo "corvane-r-unchecked.exe (built with CORVANE_CHECK_PIPE_SERVER=OFF):"
CORVANE_LAUNCHER_UNDER_TEST="$PWD/build/windows/tests/corvane-r-unchecked.exe" \
    "$wine_run" build/windows/bench/launch_benchmark.exe "${1:-7}"
echo
echo "corvane-r-open.exe (the connection handler) in front of corvane-r.exe, then what checking a signature adds:"
python3 tests/handler/make_signed_files.py build/windows/signed-files
"$wine_run" build/windows/bench/handler_benchmark.exe "${2:-15}" "Z:$PWD/build/windows/signed-files/signed_files.jsonl"
echo
scripts/footprint.sh build/windows
