#!/bin/bash
# What a release needs beyond a working executable, section by section:
# reproducible builds, the ZIP, the MSI under msiexec, and signing.
#   check_release.sh SOURCE_DIR BUILD_DIR VENDOR_KEY THIS_BUILD_SIGNED(0|1) VERSION
set -euo pipefail
source_dir=$1 build=$2 vendor=$3 signed=$4 version=$5
work="$build/release-checks" msi=corvane-r-$version.msi failures=0
rm -rf "$work" && mkdir -p "$work" && cd "$work"
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
clean_build() { # DIR [CMAKE ARGS]
    cmake -S "$source_dir" -B "$1" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" \
        -DCORVANE_CLIENT_VENDOR_KEY="$vendor" "${@:2}" >/dev/null
    cmake --build "$1" --target msi >"$1.log" 2>&1
}

# The MSI's 64-bit prefix, kept between runs (which all end with nothing
# installed) and made anew after a failed one, starts, and its state before
# any install is taken, while the builds below run: Wine mostly waits.
export CORVANE_WINE_ARCH=win64 CORVANE_WINE_PREFIX="$build/wine-prefix-msi"
wine() { "$build/wine-run.sh" "$@"; }
programs="$CORVANE_WINE_PREFIX/drive_c/Program Files"
# Wine's regedit now and then faults on a busy machine: tried three times.
export_key() { for _ in 1 2 3; do wine regedit /E "$1.reg" "$1\\Software" >/dev/null && return 0; done
    echo "regedit could not export $1"; return 1; }
# Wine's services record network cards whenever they get round to it: left out.
snapshot() { (cd "$CORVANE_WINE_PREFIX" && find drive_c | sort); for key in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
    export_key "$key" && iconv -f UTF-16 -t UTF-8 "$key.reg" | tr -d '\r' |
        awk '/^\[/ { skip = /\\NetworkCards(\\|\])/ } !skip'; done; }
wine --start-server
responder="" # the timestamp authority below, while it runs
trap 'status=$?; [ -z "$responder" ] || kill "$responder"; wine --stop-server
      [ "$status" -eq 0 ] || rm -rf "$CORVANE_WINE_PREFIX"' EXIT
snapshot >before & snapped=$!

# Clean builds in two other folders and time zones give the same MSI, and so
# the same executable, which this build tree has too unless it is signed.
clean_build first && TZ=XST-14 clean_build second/at/another/depth
cmp -s "first/$msi" "second/at/another/depth/$msi" || fail "two clean builds differ"
[ "$signed" = 1 ] || cmp -s first/corvane-r.exe "$build/corvane-r.exe" ||
    fail "this build tree's executable differs from the clean builds"

# The ZIP holds the eleven files and their checksums, which check out.
zip=corvane-r-$version-win32
(cd "$build" && cpack -B "$work/package" >/dev/null) && cmake -E tar xf "package/$zip.zip"
[ "$(cd "$zip" && find . -type f | sort | tr '\n' ' ')" = "./DEPLOYMENT.md ./LICENSE ./README.md ./SHA256SUMS \
./corvane-r-open.exe ./corvane-r.exe ./policy-templates/corvane.admx ./policy-templates/en-US/corvane.adml \
./policy-templates/zh-CN/corvane.adml ./policy-templates/zh-TW/corvane.adml ./tools/client-standin.exe \
./tools/corvane-r-check.exe " ] ||
    fail "the ZIP holds: $(find "$zip" -type f)"
(cd "$zip" && sha256sum --quiet --strict -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 11 ]) ||
    fail "SHA256SUMS does not check out over the eleven files"

# The MSI under msiexec in a 64-bit Wine prefix of its own, as on nearly
# every desktop, step by step: after each, the full exit code, the
# add/remove-programs entries of both registry views (the package is 32-bit:
# its entry belongs in the 32-bit view only) and the files in both Program
# Files folders (ours in "Program Files (x86)", none in the 64-bit one) and
# the browser registration (all of it, or not one key), as the table says (a
# made-up next version's readme differs); after an uninstall, all files and
# software registry as before but for empty keys. "open": a connection file
# started through the shell opens a console with the installed programs and
# the stand-in (registered for that alone), and is gone; that needs the
# installed 32-bit handler to run, which only a machine that starts 32-bit
# programs can do: elsewhere the registered command line, checked with the
# rest of the registration, is all there is, and the check says so.
cp "first/$msi" this.msi && mkdir -p this/tools && cp first/tools/*/*.exe first/corvane-r-check.exe this/tools
cp first/corvane-r{,-open}.exe "$source_dir"/{README.md,LICENSE} this && cp "$source_dir/docs/deployment.md" this/DEPLOYMENT.md
cp -r this next && echo "next version" >>next/README.md && cp -r this main && rm -r main/tools main/corvane-r-open.exe
next=${version%.*}.$((${version##*.} + 1)) # differs in the fourth field only
"$source_dir/installer/build-msi.sh" next "$next" next.msi && "$source_dir/installer/build-msi.sh" this 0.9.0.0 older.msi
tree() { [ ! -d "$1" ] || (cd "$1" && find . -mindepth 1 \( -type f -exec sha256sum {} + -o -printf '%p/\n' \) | sort); }
entries() { for view in 32 64; do echo "view $view:"; wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:$view |
    tr -d '\r' | { grep -E '^ +(DisplayName|DisplayVersion|NoModify|NoRepair|Publisher) ' || true; } | tr -s ' '; done; }
# Our keys under Software\Classes as "key|name|data" lines: the registration
# file's top keys, and of the shared MIME database only our type's, queried
# from a batch file (the shell's quotes do not reach cmd). Wine keeps a 32-bit
# package's Classes keys in the 32-bit view (Windows 7 and later share them
# between the views), so that is where they are read, and a 32-bit shell
# opens files through them.
awk -F '|' '!/^#/ { key = $1; if (key !~ /^MIME\\/) sub(/\\.*/, "", key); print key }' \
    "$source_dir/tests/support/browser_registration.txt" | sort -u |
    while read -r key; do printf '@reg query "HKLM\\Software\\Classes\\%s" /s /reg:32\r\n' "$key"; done >registration.bat
registration() { { wine cmd /c registration.bat 2>/dev/null || true; } | tr -d '\r' | awk -F '    ' '
    /^HKEY_/ { key = substr($0, length("HKEY_LOCAL_MACHINE\\Software\\Classes\\") + 1); print key; next }
    /^    / { print key "|" ($2 == "(Default)" ? "" : $2) "|" $4 }' | sort; }
registered=$(grep -v '^#' "$source_dir/tests/support/browser_registration.txt" |
    sed 's/{handler}/C:\\Program Files (x86)\\Corvane\\corvane-r-open.exe/' | sort)
# The handler's event source, with the handler's feature only, and gone after it.
event_source() { { wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Corvane Remote Console' \
    2>/dev/null || true; } | tr -d '\r' | awk -F '    ' '/^HKEY_/ { print "key" } /^    / { print $2 "|" $3 "|" $4 }'; }
want() { echo "view 32:"; [ -z "$1" ] || printf ' %s\n' "DisplayName REG_SZ Corvane Remote Console Client" \
    "DisplayVersion REG_SZ $1" "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1" "Publisher REG_SZ Corvane"; echo "view 64:"; }
# A signed and timestamped build, for the last section, meanwhile: a
# throwaway code-signing certificate, and a throwaway timestamp authority
# served on loopback by a responder of this script's own.
export CORVANE_SIGN_PASSWORD="throwaway-$$-$EPOCHREALTIME"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test signer" \
    -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout env:CORVANE_SIGN_PASSWORD -out signer.p12
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test timestamp authority" \
    -addext extendedKeyUsage=critical,timeStamping -keyout tsa-key.pem -out tsa.pem 2>/dev/null
echo 01 >tsa-serial
cat >tsa.cnf <<AUTHORITY
[ tsa ]
default_tsa = authority
[ authority ]
serial = $work/tsa-serial
signer_cert = $work/tsa.pem
certs = $work/tsa.pem
signer_key = $work/tsa-key.pem
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
other_policies = 1.3.6.1.4.1.99999.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
AUTHORITY
python3 "$source_dir/tests/release/timestamp_responder.py" tsa.cnf tsa-port & responder=$!
for _ in $(seq 100); do [ -s tsa-port ] || sleep 0.1; done
clean_build signed -DCORVANE_SIGN_PKCS12="$work/signer.p12" \
    -DCORVANE_SIGN_TIMESTAMP_URL="http://127.0.0.1:$(cat tsa-port)/" & signing=$!
open_console() {
    local client='HKLM\Software\'$vendor'\spicex' standin="Z:$work/this/tools/client-standin.exe"
    local policy='HKCU\Software\Policies\Corvane\Remote Console'
    printf '{"version": 1, "host": "vm7.example", "port": 5900, "password": "once"}' >console.corvane
    wine reg add "$client" /v client /d "\"$standin\" --transcript Z:$work/opened.jsonl" /reg:32 /f >/dev/null
    wine reg add "$policy" /v UnverifiedFiles /t REG_DWORD /d 2 /f >/dev/null # nothing asked
    wine 'C:\windows\syswow64\start.exe' /wait "Z:$work/console.corvane" || true
    wine reg delete 'HKLM\Software\'"$vendor" /reg:32 /f >/dev/null
    wine reg delete "${policy%\\*}" /f >/dev/null
    grep -q '"name":"SPICE_HOST","value":"vm7.example"' opened.jsonl && [ ! -e console.corvane ]
}
opens=yes
"$source_dir/scripts/runs-32-bit.sh" 2>/dev/null || { opens=""
    echo "release checks: the installed handler is not started, only its registration read:" \
         "$("$source_dir/scripts/runs-32-bit.sh" 2>&1)"; }
wait "$snapped"
# Wine itself now and then faults on a busy machine before cmd has echoed
# msiexec's status; such a step is run once more, and says so.
msiexec_status() { # ARGS
    for _ in 1 2; do
        said=$({ wine cmd /c "msiexec $1 /qn & echo %ERRORLEVEL%" || true; } | tr -d '\r')
        case ${said##*$'\n'} in
            '' | *[!0-9]*) echo "release checks: msiexec $1 gave no exit status, run again: $said" >&2 ;;
            *) echo "${said##*$'\n'}"; return 0 ;;
        esac
    done
}
while IFS='|' read -r args code listed expected browser; do
    got=$(msiexec_status "$args")
    state="exit $got $(entries) $(tree "$programs (x86)/Corvane") 64-bit: $(tree "$programs/Corvane")"
    [ "$state" = "exit $code $(want "$listed") $(tree "$expected") 64-bit: " ] || fail "msiexec $args: $state"
    if [ "$browser" = none ]; then keys=$(registration) want_keys=""
    else keys=$(registration | grep '|' || true) want_keys=$registered; fi
    [ "$keys" = "$want_keys" ] || fail "msiexec $args: the browser registration reads: ${keys:-nothing}"
    want_source=$([ "$browser" = none ] || printf '%s\n' key \
        "EventMessageFile|REG_SZ|C:\Program Files (x86)\Corvane\corvane-r-open.exe" "TypesSupported|REG_DWORD|0x7")
    [ "$(event_source)" = "$want_source" ] || fail "msiexec $args: the event source reads: $(event_source)"
    [ "$browser" != open ] || [ -z "$opens" ] || open_console || fail "msiexec $args: starting a connection file opened no console"
    left=$([ -n "$listed" ] || snapshot | diff before - | grep -Ev '^([^<>]|> (\[.*\])?$|> drive_c/windows/Installer$)' || true)
    [ -z "$left" ] || fail "msiexec $args left behind: $left"
done <<STEPS
/i older.msi|0|0.9.0.0|this|registered
/i this.msi|0|$version|this|open
/i next.msi|0|$next|next|registered
/i older.msi|1603|$next|next|registered
/x next.msi|0||none|none
/i this.msi ADDLOCAL=Main|0|$version|main|none
/x this.msi|0||none|none
STEPS

# Every executable in the signed build's ZIP and in its MSI, and the MSI
# itself, verify: SHA-256, signed by the throwaway certificate, timestamped
# by the throwaway authority. Without their signatures the executables are
# the unsigned build's bytes; the MSI holds the ZIP's; the password is
# written nowhere.
wait "$signing" || fail "the signed build failed: $(tail -n 5 signed.log)"
kill "$responder" && responder=""
(cd signed && cpack -B "$work/signed-package" >/dev/null) && mkdir signed-zip &&
    (cd signed-zip && cmake -E tar xf "../signed-package/$zip.zip")
msiextract -C signed/msi "signed/$msi" >/dev/null
signed_files=("signed/$msi")
for exe in corvane-r.exe corvane-r-open.exe tools/corvane-r-check.exe tools/client-standin.exe; do
    in_msi="signed/msi/Program Files/Corvane/$exe"
    signed_files+=("signed-zip/$zip/$exe" "$in_msi")
    cmp -s "signed-zip/$zip/$exe" "$in_msi" || fail "$exe: the MSI's differs from the ZIP's"
    osslsigncode remove-signature -in "$in_msi" -out unsigned.exe >/dev/null || fail "$exe: unsigned"
    cmp -s unsigned.exe "first/msi-stage/$exe" || fail "$exe: not the unsigned build's once unsigned"
    rm -f unsigned.exe
done
for file in "${signed_files[@]}"; do
    # Its status covers no timestamp; its words, as 2.5 and 2.9 both print them.
    verify=$(osslsigncode verify -CAfile cert.pem -TSA-CAfile tsa.pem -in "$file" 2>&1) ||
        fail "$file: not verified: $verify"
    for says in 'digest algorithm *: *SHA256' 'Subject: /CN=Corvane test signer' \
        'Issuer *: /CN=Corvane test timestamp authority' 'Timestamp Server Signature verification: ok'; do
        printf '%s\n' "$verify" | grep -q "$says" || fail "$file: verify does not say: $says"
    done
done
! grep -rqa -- "$CORVANE_SIGN_PASSWORD" signed signed.log || fail "the password was written to the build tree or its log"

[ "$failures" -eq 0 ] || { echo "release checks: $failures failed"; exit 1; }
cd "$build" && rm -rf "$work"
echo "release checks passed: reproducible, package, MSI, signing with timestamps"
