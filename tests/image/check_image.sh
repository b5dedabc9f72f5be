#!/bin/sh
# The shipped executable as Windows XP's loader and Explorer see it: a 32-bit
# console image stating Windows 5.1 as its minimum, with no link timestamp;
# imports only of functions that XP SP3 has (the allowlist); and a version
# resource and manifest holding every line of expected_resources.txt.
#   check_image.sh OBJDUMP WINDRES IMAGE
# CORVANE_LAUNCHER_UNDER_TEST, when set, names the image instead.
set -eu
objdump=$1 windres=$2 image=${CORVANE_LAUNCHER_UNDER_TEST:-$3}
here=$(dirname "$0")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$image")
field() { printf '%s\n' "$headers" | awk -v name="$1" '$1 == name { print $2; exit }'; }
"$objdump" -f "$image" | grep -q 'file format pei-i386' || fail "not a PE32 image for i386"
for expected in Magic=010b Subsystem=00000003 MajorOSystemVersion=5 MinorOSystemVersion=1 \
    MajorSubsystemVersion=5 MinorSubsystemVersion=1; do
    [ "$(field "${expected%=*}")" = "${expected#*=}" ] || fail "${expected%=*} is $(field "${expected%=*}")"
done
printf '%s\n' "$headers" | grep -q '^Time/Date.*1970' || fail "link timestamp present"

# "DLL function" pairs, DLL names in upper case, each on the allowlist.
imports=$(printf '%s\n' "$headers" | awk '
    /DLL Name:/ { dll = toupper($3); next }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }')
[ -n "$imports" ] || fail "no imports found: objdump output not understood"
allowed=$(awk '!/^#/ && NF == 2 { print toupper($1), $2 }' "$here/xp_imports.txt")
for pair in $(printf '%s\n' "$imports" | tr ' ' ':'); do
    printf '%s\n' "$allowed" | tr ' ' ':' | grep -qxF "$pair" || fail "import not allowed: $pair"
done

resources=$("$windres" -i "$image" -O rc | sed 's/^ *//')
grep -v '^#' "$here/expected_resources.txt" | while IFS= read -r line; do
    printf '%s\n' "$resources" | grep -qxF -- "$line" || printf 'FAIL: resources lack: %s\n' "$line"
done | grep . && failures=$((failures + 1))

if [ "$failures" -ne 0 ]; then
    echo "image checks: $failures failed"
    exit 1
fi
echo "image checks passed ($(printf '%s\n' "$imports" | wc -l) imports)"
