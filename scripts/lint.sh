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
findings/json_line.cpp tools/common/process_list.cpp
tools/client_standin/client_standin.cpp tools/client_standin/environment_record.cpp
tools/client_standin/impersonation_probe.cpp tools/client_standin/pipe_serving.cpp
tools/client_standin/stream_decoder.cpp tools/client_standin/transcript.cpp
tools/check/check_tool.cpp findings/client_checks.cpp tools/check/pipe_checks.cpp
findings/report.cpp bench/launch_benchmark.cpp bench/handler_benchmark.cpp handler/reading/connection_file.cpp
handler/starting/console_start.cpp handler/reading/json_members.cpp handler/reading/base64.cpp handler/reading/signed_envelope.cpp
handler/reading/connection_reading.cpp handler/trust/admission.cpp handler/trust/signature_check_win32.cpp
policy/policy.cpp policy/host_match.cpp policy/policy_registry.cpp findings/policy_checks.cpp
handler/words/messages.cpp handler/open_main.cpp handler/words/windows_text.cpp handler/trust/ticket.cpp
handler/trust/ticket_book_win32.cpp handler/record/decision_log_win32.cpp handler/starting/user_sid_win32.cpp
tools/check/event_source_check.cpp"
native_sources="controller/environment_query_posix.cpp fuzz/controller_fuzzer.cpp
fuzz/connection_file_fuzzer.cpp"

# One file per clang-tidy, two at a time. Its verdict cannot change while
# the file, the project's headers, the compile commands, the checks and the
# tools stay the same, so a clean file is remembered under a hash of all of
# them (build/lint-cache) and not checked again: most of a warm test run's
# time otherwise.
cache=build/lint-cache
mkdir -p "$cache"
tidy() {
    common=$({ cat .clang-tidy "$1/compile_commands.json"
        git ls-files -co --exclude-standard '*.h' '*.h.in' | xargs cat
        clang-tidy --version; dpkg-query -W mingw-w64-x86-64-dev 2>/dev/null || true; } | sha256sum)
    unchecked="" stamps=""
    for file in $2; do
        stamp=$cache/$( (echo "$common"; cat "$file") | sha256sum | cut -c1-32)
        [ -f "$stamp" ] || { unchecked="$unchecked $file"; stamps="$stamps $stamp"; }
    done
    [ -z "$unchecked" ] && return
    printf '%s\n' $unchecked | xargs -P 2 -n 1 clang-tidy -p "$1" --quiet 2>/dev/null
    touch $stamps
}
tidy build/windows-clang "$windows_sources"
tidy build/native "$native_sources"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
echo "lint: clang-tidy and clang-format clean"
