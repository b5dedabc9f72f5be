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
# The figures are the shipped i686 build's; where the machine starts no
# 32-bit programs, the x86_64 build of the same sources is measured instead.
preset=windows
if ! why=$(scripts/runs-32-bit.sh 2>&1); then
    echo "bench: $why, so these are the x86_64 build's figures, not the shipped i686 one's"
    preset=windows-x64
fi
tree=build/$preset
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target launch_benchmark handler_benchmark corvane-r \
    corvane-r-unchecked corvane-r-open client-standin >/dev/null
wine_run=$tree/wine-run.sh
"$wine_run" --start-server
trap '"$wine_run" --stop-server' EXIT
echo "corvane-r.exe (pipe-server check on):"
"$wine_run" "$tree/bench/launch_benchmark.exe" "${1:-7}"
echo
echo "corvane-r-unchecked.exe (built with CORVANE_CHECK_PIPE_SERVER=OFF):"
CORVANE_LAUNCHER_UNDER_TEST="$PWD/$tree/tests/corvane-r-unchecked.exe" \
    "$wine_run" "$tree/bench/launch_benchmark.exe" "${1:-7}"
echo
echo "corvane-r-open.exe (the connection handler) in front of corvane-r.exe, then what checking a signature adds:"
python3 tests/handler/make_signed_files.py "$tree/signed-files"
"$wine_run" "$tree/bench/handler_benchmark.exe" "${2:-15}" "Z:$PWD/$tree/signed-files/signed_files.jsonl"
echo
# What ships is measured on every machine: it needs no Wine.
cmake --preset windows >/dev/null
cmake --build --preset windows --target corvane-r >/dev/null
scripts/footprint.sh build/windows
