#!/bin/bash
# What Wine cannot show by behaviour (it runs everything with full rights,
# grants every pipe server impersonation, draws no console window in the test
# prefix) is read from its relay trace of a link the handler opens: the
# handler's calls and the launcher's, with the values of the build's
# architecture (its programs' word size shows in a few of them).
#   check_calls.sh WINE_RUN HANDLER STANDIN VENDOR_KEY i686|x86_64
set -euo pipefail
wine_run=$1 handler=$2 standin=$3 vendor=$4 arch=$5
wine() { "$wine_run" "$@"; }

debug='HKCU\Software\Wine\Debug'
wine reg add "$debug" /v RelayFromInclude /d 'corvane-r-open.exe;corvane-r.exe' /f >/dev/null
# While wineboot's default exclusion list exists, the inclusion is ignored.
wine reg delete "$debug" /v RelayFromExclude /f >/dev/null 2>&1 || true
wine reg add "HKLM\\Software\\$vendor\\spicex" /reg:32 /v client /f \
    /d "\"Z:$(printf '%s' "$standin" | tr / '\\')\"" >/dev/null
policy='HKCU\Software\Policies\Corvane\Remote Console'
wine reg add "$policy\AllowedHosts" /v 1 /d vm7.example /f >/dev/null # nothing asked
status=0
# {"version": 1, "host": "vm7.example", "port": 5900}
trace=$(WINEDEBUG=+relay wine "$handler" \
    corvane-console:eyJ2ZXJzaW9uIjogMSwgImhvc3QiOiAidm03LmV4YW1wbGUiLCAicG9ydCI6IDU5MDB9) || status=$?
wine reg delete "$policy" /f >/dev/null
[ "$status" -eq 0 ] || { echo "FAIL: the traced launch exited with $status"; exit 1; }

# The values one argument (counted from 0) took over all calls of a function.
# Every one checked is a DWORD: where the x86_64 trace shows a whole register,
# its upper half is whatever was left there, and only the lower half counts.
argument() {
    printf '%s\n' "$trace" | sed -nE "s/^[0-9a-f]+:Call [A-Za-z0-9_]+\\.$1\\((.*)\\) ret=[0-9a-f]+\$/\\1/p" |
        sed -E 's/ L?"([^"\\]|\\.)*"//g' | awk -F, -v i="$(($2 + 1))" '{ v = $i; print (length(v) > 8 ? substr(v, length(v) - 7) : v) }' |
        sort -u | tr '\n' ' '
}

failures=0
while IFS='|' read -r call index i686 x86_64 why; do
    expected=$([ "$arch" = i686 ] && echo "$i686" || echo "$x86_64")
    got=$(argument "$call" "$index")
    if [ "$got" != "$expected " ]; then
        echo "FAIL: $call argument $index is ${got:-never passed}, not $expected: $why"
        failures=$((failures + 1))
    fi
done <<'CALLS'
RegOpenKeyExW|3|00000101|00000101|KEY_QUERY_VALUE and KEY_WOW64_64KEY: the handler's policy where Group Policy writes it, the 64-bit view, though the handler is 32-bit (Wine, like Windows 7 and later, shares the key between the views, so only the call shows it)
RegOpenKeyExA|3|00000001|00000201|KEY_QUERY_VALUE, with KEY_WOW64_32KEY in the 64-bit build alone: a standard user may not open the HKLM key for more, and the 32-bit view is where the client's installer wrote
CreateFileA|1|c0000000|c0000000|GENERIC_READ and GENERIC_WRITE, no more: the client's pipe need grant its user nothing else
CreateFileA|5|00110080|00110080|SECURITY_SQOS_PRESENT and SECURITY_IDENTIFICATION beside FILE_ATTRIBUTE_NORMAL: whoever serves the pipe may identify the user but never act as them
WaitForSingleObject|1|ffffffff|ffffffff|INFINITE: the user keeps the console open as long as they like, and the launch ends only with the client
CreateProcessW|5|08000400|08000400|the handler's CREATE_NO_WINDOW, so that the launcher gets no console window that the user could close under the running client, and CREATE_UNICODE_ENVIRONMENT, so that the user's environment passes whole
CALLS
# The download's folder, the handler's current one, is out of its DLL search.
grep -qE '^[0-9a-f]+:Call KERNEL32\.SetDllDirectoryW\([0-9a-f]+ L""\)' <<<"$trace" ||
    { echo 'FAIL: the handler does not take the current folder out of its DLL search'; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] || exit 1
echo "relay checks passed: the launcher's access rights, pipe quality of service and wait; the handler's flags, DLL search and policy view"
