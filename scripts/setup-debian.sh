#!/bin/sh
# Installs everything the build, the tests and the demo need on Debian 12,
# skipping what is already there. Run as root (or through sudo).
set -eu

native_packages="cmake ninja-build g++ clang clang-tidy clang-format libclang-rt-14-dev googletest \
g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 nlohmann-json3-dev osslsigncode openssl python3 \
python3-jsonschema wixl msitools xvfb xauth"
# wine32 is the i386 half that runs our 32-bit executables; wine64 makes the
# 64-bit (WoW64) prefix where they run as on 64-bit Windows.
wine_packages="wine wine64 wine32:i386"

missing=""
for p in $native_packages $wine_packages; do
    if ! dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

as_root=""
if [ "$(id -u)" -ne 0 ]; then
    as_root="sudo"
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $as_root dpkg --add-architecture i386
fi
echo "setup: installing$missing" >&2
# A mirror caught mid-sync fails one list or another; the install below
# still finds what it needs from the lists that did come, or says so.
$as_root apt-get update -qq || echo "setup: some package lists could not be updated" >&2
$as_root apt-get install -y -qq --no-install-recommends $missing >/dev/null
