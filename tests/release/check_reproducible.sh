#!/bin/sh
# Two clean builds of corvane-r.exe from the same sources, in two different
# directories, must be identical byte for byte, and identical to the one this
# build tree made (when that one is unsigned).
#   check_reproducible.sh SOURCE_DIR WORK_DIR VENDOR_KEY THIS_BUILDS_EXE SIGNED(0|1)
set -eu
source_dir=$1 work=$2 vendor=$3 this_build=$4 signed=$5
rm -rf "$work"
hashes=""
for dir in "$work/first" "$work/second/at/another/depth"; do
    cmake -S "$source_dir" -B "$dir" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF \
        -DCORVANE_CLIENT_VENDOR_KEY="$vendor" >/dev/null
    cmake --build "$dir" --target corvane-r >/dev/null
    hash=$(sha256sum "$dir/corvane-r.exe" | cut -d' ' -f1)
    echo "$hash  $dir/corvane-r.exe"
    hashes="$hashes $hash"
done
set -- $hashes
if [ "$1" != "$2" ]; then
    echo "0 passed, 1 failed: the two clean builds differ"
    exit 1
fi
if [ "$signed" = 0 ]; then
    this_hash=$(sha256sum "$this_build" | cut -d' ' -f1)
    echo "$this_hash  $this_build"
    if [ "$this_hash" != "$1" ]; then
        echo "0 passed, 1 failed: this build tree's executable differs from the clean builds"
        exit 1
    fi
fi
rm -rf "$work"
echo "1 passed, 0 failed"
