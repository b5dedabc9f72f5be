#!/bin/sh
# Builds the ZIP with CPack, then checks what it holds and its SHA256SUMS.
#   check_package.sh BUILD_DIR WORK_DIR
set -eu
build=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -B "$work" >/dev/null)
zip="$work/corvane-r-1.0.0.1-win32.zip"
[ -f "$zip" ] || { echo "0 passed, 1 failed: no $zip"; exit 1; }

listing=$(cmake -E tar tf "$zip" | grep -v '/$' | sed 's|^corvane-r-1.0.0.1-win32/||' | sort)
expected=$(printf '%s\n' DEPLOYMENT.md LICENSE README.md SHA256SUMS corvane-r.exe \
    tools/client-standin.exe | sort)
if [ "$listing" != "$expected" ]; then
    printf 'unexpected contents:\n%s\n' "$listing"
    echo "0 passed, 1 failed"
    exit 1
fi

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
(cd "$work/unpacked/corvane-r-1.0.0.1-win32" && sha256sum --strict -c SHA256SUMS)
[ "$(wc -l < "$work/unpacked/corvane-r-1.0.0.1-win32/SHA256SUMS")" -eq 5 ] ||
    { echo "0 passed, 1 failed: SHA256SUMS does not list the five files"; exit 1; }
rm -rf "$work"
echo "1 passed, 0 failed"
