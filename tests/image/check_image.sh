#!/bin/sh
# Checks the shipped executable's PE header and import table: a 32-bit
# console image that states Windows XP (5.1) as its minimum, and imports only
# system DLL functions that Windows XP SP3 has, as listed in the allowlist.
#   check_image.sh OBJDUMP IMAGE ALLOWLIST
# CORVANE_LAUNCHER_UNDER_TEST, when set, names the image instead.
set -eu
objdump=$1 image=${CORVANE_LAUNCHER_UNDER_TEST:-$2} allowlist=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$image")
field() { printf '%s\n' "$headers" | awk -v name="$1" '$1 == name { print $2; exit }'; }

"$objdump" -f "$image" | grep -q 'file format pei-i386' || fail "not a PE32 image for i386"
[ "$(field Magic)" = 010b ] || fail "optional header is not PE32"
[ "$(field Subsystem)" = 00000003 ] || fail "subsystem is not the console"
for name in MajorOSystemVersion MajorSubsystemVersion; do
    [ "$(field $name)" = 5 ] || fail "$name is $(field $name), not 5"
done
for name in MinorOSystemVersion MinorSubsystemVersion; do
    [ "$(field $name)" = 1 ] || fail "$name is $(field $name), not 1"
done
printf '%s\n' "$headers" | grep -q '^Time/Date.*1970' || fail "link timestamp present"

# "DLL function" pairs, DLL names in upper case.
imports=$(printf '%s\n' "$headers" | awk '
    /DLL Name:/ { dll = toupper($3); next }
    dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }')
[ -n "$imports" ] || fail "no imports found: objdump output not understood"

allowed=$(grep -v '^#' "$allowlist" | awk 'NF == 2 { print toupper($1), $2 }')
count=0
while read -r dll function; do
    count=$((count + 1))
    printf '%s\n' "$allowed" | grep -qx "$dll $function" || fail "import not allowed: $dll $function"
done <<IMPORTS
$imports
IMPORTS

echo "checked $count imports"
if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "1 passed, 0 failed"
