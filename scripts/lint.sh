#!/bin/sh
# clang-tidy over the launcher, the core, the tools and the benchmark (with
# the compile commands of the clang Windows build and of the native build),
# and a clang-format check over every C++ source.
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh

cmake --preset windows-clang >/dev/null
cmake --preset native >/dev/null

windows_sources="controller/controller_conversation.cpp controller/controller_connection.cpp
controller/pipe_server_check.cpp
controller/environment_query_win32.cpp launcher/launch_sequence.cpp launcher/main.cpp
tools/client_standin/client_standin.cpp tools/client_standin/stream_decoder.cpp
tools/client_standin/transcript.cpp bench/launch_benchmark.cpp"
native_sources="controller/environment_query_posix.cpp fuzz/controller_fuzzer.cpp"

# One file per clang-tidy, two at a time.
tidy() { printf '%s\n' $2 | xargs -P 2 -n 1 clang-tidy -p "$1" --quiet 2>/dev/null; }
tidy build/windows-clang "$windows_sources"
tidy build/native "$native_sources"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "lint: clang-tidy and clang-format clean"
