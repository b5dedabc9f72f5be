#!/bin/sh
# The shipped executable as Windows XP's loader and Explorer see it: a 32-bit
# console image stating Windows 5.1 as its minimum, with no link timestamp,
# a version resource and a manifest (every line of expected_image.txt), and
# imports only of functions that XP SP3 has (xp_imports.txt).
#   check_image.sh OBJDUMP WINDRES IMAGE
# CORVANE_LAUNCHER_UNDER_TEST, when set, names the image instead.
set -eu
objdump=$1 windres=$2 image=${CORVANE_LAUNCHER_UNDER_TEST:-$3}
here=$(dirname "$0")
failures=0
fail() { printf 'FAIL: %s\n' "$*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$image")
described=$({ "$objdump" -f "$image" && echo "$headers" && "$windres" -i "$image" -O rc; } |
    sed 's/^[[:blank:]]*//; s/^"[[:blank:]]*/"/; s/.*: *file format/file format/' | tr -s ' \t' ' ')
expected=$(grep -v '^#' "$here/expected_image.txt")
while IFS= read -r line; do
    printf '%s\n' "$described" | grep -qxF -- "$line" || fail "the image lacks: $line"
done <<EXPECTED
$expected
EXPECTED

# "DLL function" pairs, DLL names in upper case, each on the allowlist.
imports=$(printf '%s\n' "$headers" | awk '
    /DLL Name:/ { dll = toupper($3); next }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll ":" $3 }')
[ -n "$imports" ] || fail "no imports found: objdump output not understood"
allowed=$(awk '!/^#/ && NF == 2 { print toupper($1) ":" $2 }' "$here/xp_imports.txt")
for pair in $imports; do
    printf '%s\n' "$allowed" | grep -qxF "$pair" || fail "import not allowed: $pair"
done

[ "$failures" -eq 0 ] || { echo "image checks: $failures failed"; exit 1; }
echo "image checks passed ($(echo "$imports" | wc -l) imports)"
