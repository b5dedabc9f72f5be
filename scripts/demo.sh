#!/bin/sh
# The launcher's main job, end to end: builds corvane-r.exe, registers the
# stand-in client in the build tree's private Wine prefix, launches with
# sample connection parameters and shows what the client received. Then the
# way in from a browser: registers corvane-r-open.exe for .corvane files as
# the MSI does, opens a connection file through the shell and shows what the
# client received from it.
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target corvane-r corvane-r-open client-standin >/dev/null

build="$PWD/build/windows"
wine_run="$build/wine-run.sh"
vendor=$(sed -n 's/^CORVANE_CLIENT_VENDOR_KEY:STRING=//p' "$build/CMakeCache.txt")
demo="$build/demo"
mkdir -p "$demo"
rm -f "$demo/received.txt"

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
reg_escape() { printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g'; }

standin=$(windows_path "$build/tools/client_standin/client-standin.exe")
received=$(windows_path "$demo/received.txt")
command="\"$standin\" --readable \"$received\" --linger-ms 500"
cat > "$demo/register-standin.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\$vendor\\spicex]
"client"="$(reg_escape "$command")"
REG

"$wine_run" --start-server
trap '"$wine_run" --stop-server' EXIT
"$wine_run" regedit /S "$(windows_path "$demo/register-standin.reg")"

printf 'client registered: %s\n' "$command"
echo "launching corvane-r.exe ..."
status=0
SPICE_HOST=vm7.example.org SPICE_PORT=5900 SPICE_SPORT=5901 SPICE_PASSWORD=s3cret \
SPICE_TITLE="vm7 - console" SPICE_CA_FILE='C:\certs\ca.pem' SPICE_HOST_SUBJECT="CN=vm7.example.org" \
    "$wine_run" "$build/corvane-r.exe" || status=$?
echo "corvane-r.exe exited with status $status (255 is -1 as Linux reads it)"
echo
echo "what the client received:"
cat "$demo/received.txt"
[ "$status" -eq 0 ] || exit "$status"

# The MSI's registration, naming this build's handler.
handler=$(reg_escape "$(windows_path "$build/corvane-r-open.exe")")
{
    echo REGEDIT4
    grep -v '^#' tests/support/browser_registration.txt | while IFS='|' read -r key name data; do
        data=$(reg_escape "$data" | sed "s|{handler}|$(printf '%s' "$handler" | sed 's/[\\&|]/\\&/g')|")
        printf '\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\%s]\n' "$key"
        if [ -z "$name" ]; then printf '@="%s"\n' "$data"; else printf '"%s"="%s"\n' "$name" "$data"; fi
    done
} >"$demo/register-handler.reg"
"$wine_run" regedit /S "$(windows_path "$demo/register-handler.reg")"
cat >"$demo/vm7.corvane" <<'FILE'
{
  "version": 1,
  "host": "vm7.example.org",
  "securePort": 5901,
  "password": "one-time-7f3a9c",
  "title": "vm7 - console from a browser",
  "hostSubject": "CN=vm7.example.org"
}
FILE
# As an administrator would set it by Group Policy: the portal's hosts are
# allowed, so its files open without a question (any other file is asked
# about first).
policy='HKCU\Software\Policies\Corvane\Remote Console'
"$wine_run" reg add "$policy\AllowedHosts" /v 1 /d '*.example.org' /f >/dev/null
rm -f "$demo/received.txt"
echo
echo "policy: AllowedHosts = *.example.org (so nothing is asked)"
echo "opening vm7.corvane through the shell, as a browser does ..."
"$wine_run" start /wait "$(windows_path "$demo/vm7.corvane")" || status=$?
"$wine_run" reg delete "$policy" /f >/dev/null
echo "corvane-r-open.exe exited with status $status; vm7.corvane, which held a password, is \
$([ -e "$demo/vm7.corvane" ] && echo "still there" || echo "gone")"
echo
echo "what the client received:"
cat "$demo/received.txt"
exit "$status"
