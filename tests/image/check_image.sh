#!/bin/sh
# Every shipped program as Windows XP's loader and Explorer see it: a 32-bit
# image stating Windows 5.1 as its minimum, with no link timestamp, a
# version resource and a manifest (its lines of expected_image.txt), and
# imports only of functions that XP SP3 has (xp_imports.txt); the handler's
# message table with the guide's event IDs in all three languages.
#   check_image.sh OBJDUMP WINDRES VERSION GUIDE IMAGE...
# CORVANE_LAUNCHER_UNDER_TEST and CORVANE_STANDIN_UNDER_TEST, when set, name
# another build's launcher and stand-in instead.
set -eu
objdump=$1 windres=$2 version=$3 guide=$4
shift 4
here=$(dirname "$0")
fields=$(echo "$version" | sed 's/\./, /g')
allowed=$(awk '!/^#/ && NF == 2 { print toupper($1) ":" $2 }' "$here/xp_imports.txt")
failures=0

for image in "$@"; do
    name=$(basename "$image")
    case $name in
    corvane-r.exe) image=${CORVANE_LAUNCHER_UNDER_TEST:-$image} ;;
    client-standin.exe) image=${CORVANE_STANDIN_UNDER_TEST:-$image} ;;
    esac
    before=$failures
    fail() { printf 'FAIL: %s: %s\n' "$name" "$*"; failures=$((failures + 1)); }

    headers=$("$objdump" -p "$image")
    described=$({ "$objdump" -f "$image" && echo "$headers" && "$windres" -i "$image" -O rc; } |
        sed 's/^[[:blank:]]*//; s/^"[[:blank:]]*/"/; s/.*: *file format/file format/' | tr -s ' \t' ' ')
    expected=$(sed -n "s/^every: //p; s/^$name: //p" "$here/expected_image.txt" |
        sed "s/{name}/$name/g; s/{version}/$version/g; s/{fields}/$fields/g")
    grep -q "^$name: " "$here/expected_image.txt" || fail "no row in expected_image.txt"
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
    for pair in $imports; do
        printf '%s\n' "$allowed" | grep -qxF "$pair" || fail "import not allowed on XP SP3: $pair"
    done
    documented=$(sed -n 's/^| \([0-9]\{4\}\) | \(Information\|Warning\|Error\) | .*/\1/p' "$guide" | sort)
    for language in "9, 1" "4, 2" "4, 1"; do
        [ "$name" = corvane-r-open.exe ] || break
        found=$(printf '%s\n' "$described" | awk -v block="LANGUAGE $language" '
            /^LANGUAGE / { inside = $0 == block } inside && $1 == "MessageId" { print $3 }' |
            while read -r id; do echo $((id & 0xFFFF)); done | sort)
        [ -n "$documented" ] && [ "$found" = "$documented" ] ||
            fail "the message table in LANGUAGE $language is not the guide's events:" $found
    done
    [ "$failures" -ne "$before" ] || echo "ok    $name ($(echo "$imports" | wc -l) imports)"
done

[ "$failures" -eq 0 ] || { echo "image checks: $failures failed"; exit 1; }
echo "image checks passed: $# programs"
