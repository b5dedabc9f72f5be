#!/bin/sh
# Installs everything the build, the tests and the demo need on Debian 12,
# skipping what is already there. Run as root (or through sudo).
set -eu
cd "$(dirname "$0")/.."

# MinGW-w64 for both builds: i686 ships, x86_64 runs the tests under Wine
# everywhere. wine64 runs the x86_64 programs and drives every prefix.
native_packages="cmake ninja-build g++ clang clang-tidy clang-format libclang-rt-14-dev googletest \
g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64 \
lld nlohmann-json3-dev osslsigncode openssl python3 python3-jsonschema wixl msitools xvfb xauth wine wine64 git"
# wine32 is the i386 half that runs the shipped 32-bit programs; only a
# machine that starts 32-bit programs can use it (scripts/runs-32-bit.sh).
wine32_packages="wine32:i386"

as_root=""
if [ "$(id -u)" -ne 0 ]; then
    as_root="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
updated=""

install_missing() { # PACKAGE...
    missing=""
    for p in "$@"; do
        if ! dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
            missing="$missing $p"
        fi
    done
    [ -n "$missing" ] || return 0
    echo "setup: installing$missing" >&2
    if [ -z "$updated" ]; then
        # A mirror caught mid-sync fails one list or another; the install
        # below still finds what it needs from the lists that did come, or
        # says so.
        $as_root apt-get update -qq || echo "setup: some package lists could not be updated" >&2
        updated=yes
    fi
    $as_root apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

install_missing $native_packages
if scripts/runs-32-bit.sh 2>/dev/null; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $as_root dpkg --add-architecture i386
        updated=""
    fi
    install_missing $wine32_packages
fi
