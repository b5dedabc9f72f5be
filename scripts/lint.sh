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
controller/environment_query_win32.cpp launcher/launch_sequence.cpp launcher/main.cpp
tools/client_standin/client_standin.cpp tools/client_standin/stream_decoder.cpp
tools/client_standin/transcript.cpp bench/launch_benchmark.cpp"
native_sources="controller/environment_query_posix.cpp fuzz/controller_fuzzer.cpp"

# shellcheck disable=SC2086 # the lists are split on purpose
clang-tidy -p build/windows-clang --quiet $windows_sources 2>/dev/null
# shellcheck disable=SC2086
clang-tidy -p build/native --quiet $native_sources 2>/dev/null
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "lint: clang-tidy and clang-format clean"
