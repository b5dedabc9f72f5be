#!/bin/bash
# What Wine cannot show by behaviour: it runs everything with full rights and
# grants every pipe server impersonation, so a launcher asking for more
# access, or dropping its quality-of-service flags, works here and fails or
# exposes the user on Windows. The arguments are read instead from Wine's
# relay trace of one successful launch, only the launcher's own calls.
#   check_calls.sh WINE_RUN LAUNCHER STANDIN VENDOR_KEY
set -euo pipefail
wine_run=$1 launcher=$2 standin=$3 vendor=$4
wine() { "$wine_run" "$@"; }

debug='HKCU\Software\Wine\Debug'
wine reg add "$debug" /v RelayFromInclude /d corvane-r.exe /f >/dev/null
# While wineboot's default exclusion list exists, the inclusion is ignored.
wine reg delete "$debug" /v RelayFromExclude /f >/dev/null 2>&1 || true
wine reg add "HKLM\\Software\\$vendor\\spicex" /reg:32 /v client /f \
    /d "\"Z:$(printf '%s' "$standin" | tr / '\\')\"" >/dev/null
status=0
trace=$(WINEDEBUG=+relay wine "$launcher") || status=$?
[ "$status" -eq 0 ] || { echo "FAIL: the traced launch exited with $status"; exit 1; }

# The values one argument (counted from 0) took over all calls of a function.
argument() {
    printf '%s\n' "$trace" | sed -nE "s/^[0-9a-f]+:Call [A-Za-z0-9_]+\\.$1\\((.*)\\) ret=[0-9a-f]+\$/\\1/p" |
        sed -E 's/ "([^"\\]|\\.)*"//g' | awk -F, -v i="$(($2 + 1))" '{ print $i }' | sort -u | tr '\n' ' '
}

failures=0
while IFS='|' read -r call index expected why; do
    got=$(argument "$call" "$index")
    if [ "$got" != "$expected " ]; then
        echo "FAIL: $call argument $index is ${got:-never passed}, not $expected: $why"
        failures=$((failures + 1))
    fi
done <<'CALLS'
RegOpenKeyExA|3|00000001|KEY_QUERY_VALUE alone: a standard user may not open the HKLM key for more, and a KEY_WOW64_ flag would leave the 32-bit view the client's installer wrote
CreateFileA|1|c0000000|GENERIC_READ and GENERIC_WRITE, no more: the client's pipe need grant its user nothing else
CreateFileA|5|00110080|SECURITY_SQOS_PRESENT and SECURITY_IDENTIFICATION beside FILE_ATTRIBUTE_NORMAL: whoever serves the pipe may identify the user but never act as them
WaitForSingleObject|1|ffffffff|INFINITE: the user keeps the console open as long as they like, and the launch ends only with the client
CALLS
[ "$failures" -eq 0 ] || exit 1
echo "relay checks passed: the launcher's access rights, pipe quality of service and wait"
