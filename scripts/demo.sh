#!/bin/sh
# The product as a portal's users meet it, under Wine, against the stand-in
# client, each step with what it shows and how it came out:
#  1. corvane-r.exe started with SPICE_* variables; what the client received;
#  2. a ticket the portal signed (with a key and certificate made for the
#     demo and trusted by policy), opened through the shell as a browser
#     does: it opens without a question and the file with its password goes;
#  3. the same ticket again: refused as used;
#  4. a file for a host nobody allowed, with --quiet: refused;
#  5. the events those steps wrote to the Application log, as an admin reads
#     them.
# It removes what it registered and exits 0 only when every step did what it
# says. It runs the shipped i686 build, or the x86_64 build of the same
# sources where the machine starts no 32-bit programs. CORVANE_DEMO_TREE names
# a build tree that is already built (the test suite's): then nothing is
# installed or built.
set -eu
cd "$(dirname "$0")/.."

if [ -n "${CORVANE_DEMO_TREE:-}" ]; then
    build=$CORVANE_DEMO_TREE
else
    scripts/setup-debian.sh
    preset=windows
    if ! why=$(scripts/runs-32-bit.sh 2>&1); then
        echo "demo: $why, so it runs the x86_64 build of the same sources, not the shipped i686 one"
        preset=windows-x64
    fi
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target corvane-r corvane-r-open client-standin >/dev/null
    build="$PWD/build/$preset"
fi
wine_run="$build/wine-run.sh"
vendor=$(sed -n 's/^CORVANE_CLIENT_VENDOR_KEY:STRING=//p' "$build/CMakeCache.txt")
demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo"
# A prefix of its own, so that the demo never disturbs a test run's.
export CORVANE_WINE_PREFIX="$build/wine-prefix-demo"

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
reg_escape() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }
failed=0
outcome() { # WHAT-WAS-EXPECTED CONDITION...
    what=$1
    shift
    if "$@"; then echo "  ok: $what"; else echo "  NOT AS EXPECTED: $what"; failed=1; fi
}
received_has() { grep -qF "$1" "$demo/received.txt" 2>/dev/null; }
said() { grep -qF "$1" "$demo/said.txt"; }

# The client, as its installer registers it (the 32-bit registry view), and
# the handler, as the MSI's Browser feature registers it.
standin=$(windows_path "$build/tools/client_standin/client-standin.exe")
command="\"$standin\" --readable \"$(windows_path "$demo/received.txt")\" --linger-ms 500"
handler=$(reg_escape "$(windows_path "$build/corvane-r-open.exe")")
policy='HKEY_LOCAL_MACHINE\Software\Policies\Corvane\Remote Console'
{
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\%s\\spicex]\n"client"="%s"\n' \
        "$vendor" "$(reg_escape "$command")"
    grep -v '^#' tests/support/browser_registration.txt | while IFS='|' read -r key name data; do
        data=$(reg_escape "$data" | sed "s|{handler}|$(printf '%s' "$handler" | sed 's/[\\&|]/\\&/g')|")
        printf '\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\%s]\n' "$key"
        if [ -z "$name" ]; then printf '@="%s"\n' "$data"; else printf '"%s"="%s"\n' "$name" "$data"; fi
    done
} >"$demo/register.reg"
{
    echo REGEDIT4
    printf '\n[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\%s\\spicex]\n' "$vendor"
    grep -v '^#' tests/support/browser_registration.txt | cut -d'|' -f1 | sort -u |
        while read -r key; do printf '\n[-HKEY_LOCAL_MACHINE\\Software\\Classes\\%s]\n' "$key"; done
    printf '\n[-%s]\n' "$policy"
} >"$demo/unregister.reg"

"$wine_run" --start-server
trap '"$wine_run" regedit /S "$(windows_path "$demo/unregister.reg")"; "$wine_run" --stop-server' EXIT
"$wine_run" regedit /S "$(windows_path "$demo/register.reg")"
printf 'client registered: %s\n' "$command"
echo "handler registered for .corvane files and corvane-console: links, as the MSI does"

echo
echo "1. corvane-r.exe started with SPICE_* variables, as a portal's script starts it"
status=0
SPICE_HOST=vm7.example.org SPICE_PORT=5900 SPICE_SPORT=5901 SPICE_PASSWORD=s3cret \
SPICE_TITLE="vm7 - console" SPICE_CA_FILE='C:\certs\ca.pem' SPICE_HOST_SUBJECT="CN=vm7.example.org" \
    "$wine_run" "$build/corvane-r.exe" || status=$?
echo "   what the client received:"
sed 's/^/     /' "$demo/received.txt" 2>/dev/null || true
outcome "exit status 0 once the client exited (it was $status)" [ "$status" -eq 0 ]
outcome "the client received the host and was asked to connect" received_has vm7.example.org

# The portal's signing key and certificate, made for the demo; the
# administrator trusts the certificate by its SHA-256 thumbprint and allows
# the portal's hosts, as Group Policy writes it (the 64-bit registry view).
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=portal.example.org" \
    -keyout "$demo/portal.key" -out "$demo/portal.pem" 2>/dev/null
openssl x509 -in "$demo/portal.pem" -outform DER -out "$demo/portal.der"
thumbprint=$(sha256sum "$demo/portal.der" | cut -d' ' -f1)
"$wine_run" reg add "$policy\\TrustedPublishers" /v 1 /d "$thumbprint" /reg:64 /f >/dev/null
"$wine_run" reg add "$policy\\AllowedHosts" /v 1 /d '*.example.org' /reg:64 /f >/dev/null
echo
echo "policy: TrustedPublishers = the portal's certificate ($thumbprint), AllowedHosts = *.example.org"

# A ticket as the portal signs it: a JWS (RS256) with the certificate in
# x5c, valid for five minutes, with an id of its own.
b64url() { basenc --base64url -w0 | tr -d '='; }
header=$(printf '{"alg":"RS256","x5c":["%s"]}' "$(base64 -w0 "$demo/portal.der")" | b64url)
payload=$(printf '{"version":1,"host":"vm7.example.org","securePort":5901,"password":"one-time-7f3a9c",%s' \
    "\"title\":\"vm7 - console from the portal\",\"hostSubject\":\"CN=vm7.example.org\",\"exp\":$(($(date +%s) + 300)),\"jti\":\"$(openssl rand -hex 16)\"}" | b64url)
signature=$(printf '%s.%s' "$header" "$payload" | openssl dgst -sha256 -sign "$demo/portal.key" | b64url)
printf '{"protected":"%s","payload":"%s","signature":"%s"}\n' "$header" "$payload" "$signature" >"$demo/ticket.json"
cp "$demo/ticket.json" "$demo/vm7.corvane"

# The handler's events, read from Wine's trace of its ReportEventW calls.
trace=-all,+eventlog,fixme+advapi
echo
echo "2. the portal's signed ticket vm7.corvane opened through the shell, as a browser does"
rm -f "$demo/received.txt"
status=0
CORVANE_EVENT_TRACE="$demo/trace-2.log" WINEDEBUG=$trace \
    "$wine_run" start /wait "$(windows_path "$demo/vm7.corvane")" >/dev/null || status=$?
echo "   what the client received:"
sed 's/^/     /' "$demo/received.txt" 2>/dev/null || true
outcome "opened without a question; exit status 0 once the client exited (it was $status)" [ "$status" -eq 0 ]
outcome "the client received the ticket's host" received_has vm7.example.org
outcome "vm7.corvane, which held a password, is gone" [ ! -e "$demo/vm7.corvane" ]

quietly() { # STEP FILE: the handler with --quiet; what it says in said.txt
    status=0
    CORVANE_EVENT_TRACE="$demo/trace-$1.log" WINEDEBUG=$trace \
        "$wine_run" "$build/corvane-r-open.exe" --quiet "$(windows_path "$2")" >/dev/null 2>&1 || status=$?
    grep -v ':advapi:\|:eventlog:' "$demo/trace-$1.log" >"$demo/said.txt" || true
    echo "   the handler said:"
    sed 's/^/     /' "$demo/said.txt"
}

echo
echo "3. the same ticket, downloaded again, opened again"
cp "$demo/ticket.json" "$demo/vm7.corvane"
rm -f "$demo/received.txt"
quietly 3 "$demo/vm7.corvane"
outcome "refused as used, exit status 1 (it was $status)" [ "$status" -eq 1 ]
outcome "it says the link was already used" said "it was already used"
outcome "no client was started" [ ! -e "$demo/received.txt" ]

echo
echo "4. a file for a host nobody allowed, unsigned, opened with --quiet"
printf '{"version":1,"host":"console.attacker.example.net","port":5900,"title":"vm7 - console"}\n' \
    >"$demo/elsewhere.corvane"
rm -f "$demo/received.txt"
quietly 4 "$demo/elsewhere.corvane"
outcome "refused, exit status 1 (it was $status)" [ "$status" -eq 1 ]
outcome "it names the host the administrator does not allow" said "console.attacker.example.net"
outcome "no client was started" [ ! -e "$demo/received.txt" ]

# Wine traces ReportEventW as "...:advapi:ReportEventW (log,type,category,id,sid,...)"
# and then each insertion string as "...:eventlog:ReportEventW L"text""; the
# seventh is the reason.
events() {
    cat "$demo"/trace-*.log | awk '
        /:advapi:ReportEventW \(/ { split(substr($0, index($0, "(") + 1), f, ","); n = 0; next }
        /:eventlog:ReportEventW L"/ {
            if (++n == 7) { s = substr($0, index($0, "L\"") + 2); sub(/"$/, "", s); print f[2], f[4], s } }' |
        while read -r type id reason; do
            case $(($type)) in 1) type=Error ;; 2) type=Warning ;; 4) type=Information ;; esac
            # Event Viewer's ID is the low word; the high bits are the severity.
            echo "$type $(($id & 0xFFFF)) $reason"
        done
}
echo
echo "5. the events these steps wrote to the Application log (source Corvane Remote Console): type, ID, reason"
events >"$demo/events.txt"
sed 's/^/     /' "$demo/events.txt"
outcome "step 2: opened, signed by a trusted publisher" grep -qx "Information 1001 TrustedPublisher" "$demo/events.txt"
outcome "step 3: refused as used" grep -qx "Warning 3305 AlreadyUsed" "$demo/events.txt"
outcome "step 4: refused for its host" grep -qx "Warning 3202 HostNotAllowed" "$demo/events.txt"

echo
if [ "$failed" -eq 0 ]; then echo "demo: every step did what it says"; else echo "demo: a step did not do what it says"; fi
exit "$failed"
