#!/bin/sh
# Every test: installs what is missing, lints, then builds and runs
#  - the platform-neutral core natively under ASan/UBSan, with a bounded
#    fuzzing run;
#  - the x86_64 Windows build under Wine's 64-bit loader, on every machine:
#    unit, component, end-to-end, message-box, relay tests and the demo;
#  - the i686 build, which ships: its image and release checks (ZIP, MSI
#    under msiexec, signing) everywhere, beside the x86_64 tests; its
#    programs through the same tests only where the machine starts 32-bit
#    programs;
#  - the same sources built by clang, warning-free, its launcher and stand-in
#    put through the end-to-end table.
# The compilers' output is shown only when a build fails.
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
scripts/lint.sh
mkdir -p build

build() { # PRESET [TARGET...]
    preset=$1
    shift
    log=build/$preset-build.log
    if ! { cmake --preset "$preset" && cmake --build --preset "$preset" ${1:+--target "$@"}; } >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "test: the $preset build failed (all of it in $log)"
        exit 1
    fi
}

if why=$(scripts/runs-32-bit.sh 2>&1); then
    i686_filter=""
    echo "test: this machine runs 32-bit programs: the x86_64 and the i686 programs both run under Wine"
else
    i686_filter="-LE programs"
    echo "test: $why, so the shipped i686 programs are built and checked (image, ZIP, MSI, signing) but not run;"
    echo "test: not run: the i686 programs through the tests under Wine and the MSI's installed handler; the x86_64 programs run every test"
fi

build native
ctest --preset native

build windows-x64
build windows
# The i686 tree's checks take their own prefixes and mostly wait on builds
# and Wine: beside the x86_64 tests, their report after them.
(status=0; ctest --preset windows $i686_filter >build/windows-tests.log 2>&1 || status=$?
 echo $status >build/windows-tests.status) &
i686=$!
status=0
ctest --preset windows-x64 || status=$?
wait $i686
echo "test: the i686 build's tests, which ran beside:"
cat build/windows-tests.log
[ "$status" -eq 0 ] && [ "$(cat build/windows-tests.status)" -eq 0 ] || exit 1

build windows-clang
ctest --preset windows-clang
