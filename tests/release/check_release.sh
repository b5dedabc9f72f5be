#!/bin/bash
# What a release needs beyond a working executable: clean builds in two other
# directories and time zones give the same executable and MSI bytes, and the
# same executable as this build tree (unless it is signed); the ZIP holds the
# expected files and its SHA256SUMS checks out; the MSI installs, upgrades,
# refuses a downgrade and uninstalls cleanly under msiexec; signing with a
# throwaway certificate verifies with SHA-256 on the executable and on the
# MSI, which holds the signed executable, and the password reaches neither
# the build tree nor its log.
#   check_release.sh SOURCE_DIR BUILD_DIR VENDOR_KEY THIS_BUILD_SIGNED(0|1)
set -euo pipefail
source_dir=$1 build=$2 vendor=$3 signed=$4
work="$build/release-checks"
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
clean_build() { # DIR [CMAKE ARGS]
    dir=$1 && shift
    cmake -S "$source_dir" -B "$dir" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" \
        -DCORVANE_CLIENT_VENDOR_KEY="$vendor" "$@" >/dev/null
    cmake --build "$dir" --target msi >"$dir.log" 2>&1
    sha256sum "$dir/corvane-r.exe" | cut -d' ' -f1
}

msi=corvane-r-1.0.0.1.msi
first=$(clean_build "$work/first")
[ "$first" = "$(TZ=XST-14 clean_build "$work/second/at/another/depth")" ] || fail "two clean builds differ"
cmp -s "$work/first/$msi" "$work/second/at/another/depth/$msi" || fail "two clean builds' MSIs differ"
[ "$signed" = 1 ] || [ "$first" = "$(sha256sum "$build/corvane-r.exe" | cut -d' ' -f1)" ] ||
    fail "this build tree's executable differs from the clean builds"

name=corvane-r-1.0.0.1-win32
(cd "$build" && cpack -B "$work/package" >/dev/null)
mkdir "$work/unpacked" && (cd "$work/unpacked" && cmake -E tar xf "$work/package/$name.zip")
cd "$work/unpacked/$name"
[ "$(find . -type f | sort | tr '\n' ' ')" = "./DEPLOYMENT.md ./LICENSE ./README.md ./SHA256SUMS \
./corvane-r.exe ./tools/client-standin.exe " ] || fail "the ZIP holds: $(find . -type f)"
sha256sum --quiet --strict -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 5 ] ||
    fail "SHA256SUMS does not check out over the five files"

# The MSI in a fresh Wine prefix of its own, step by step (the table at the
# end): after each, msiexec's full exit code, the add/remove-programs entries
# and the files under Program Files\Corvane must be the expected ones, and
# after an uninstall the prefix's files and software registry as before the
# first install. The made-up next version's readme differs, to tell its files
# apart; "main" is the install without the tool.
export WINEPREFIX="$work/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1
cd "$work" && cp "first/$msi" this.msi && mkdir -p this/tools
cp first/corvane-r.exe "$source_dir/README.md" "$source_dir/LICENSE" this
cp "$source_dir/docs/deployment.md" this/DEPLOYMENT.md && cp first/tools/*/client-standin.exe this/tools
cp -r this next && echo "next version" >>next/README.md && cp -r this main && rm -r main/tools
"$source_dir/installer/build-msi.sh" next 1.0.0.2 next.msi
"$source_dir/installer/build-msi.sh" this 0.9.0.0 older.msi
tree() { (cd "$1" 2>/dev/null || exit 0; find . -mindepth 1 | sort | while read -r p; do
    if [ -f "$p" ]; then sha256sum "$p"; else echo "$p/"; fi; done) }
entries() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
    { grep -E '^ +(DisplayName|DisplayVersion|NoModify|NoRepair|Publisher) ' || true; } | tr -s ' '; }
want() { [ -z "$1" ] || printf ' %s\n' "DisplayName REG_SZ Corvane Remote Console Client" \
    "DisplayVersion REG_SZ $1" "NoModify REG_DWORD 0x1" "NoRepair REG_DWORD 0x1" "Publisher REG_SZ Corvane"; }
# Wine records network cards under Software whenever its services get round to it: left out.
snapshot() { (cd "$WINEPREFIX" && find drive_c | sort); for key in HKEY_LOCAL_MACHINE HKEY_CURRENT_USER; do
    wine regedit /E "$key.reg" "$key\\Software" && iconv -f UTF-16 -t UTF-8 "$key.reg" | tr -d '\r' |
        awk '/^\[/ { skip = /\\NetworkCards(\\|\])/ } !skip'; done; }
snapshot >before
while IFS='|' read -r args code version expected; do
    got=$({ wine cmd /c "msiexec $args /qn & echo %ERRORLEVEL%" || true; } | tr -d '\r' | tail -n1)
    state="exit $got $(entries) $(tree "$WINEPREFIX/drive_c/Program Files/Corvane")"
    [ "$state" = "exit $code $(want "$version") $(tree "$expected")" ] || fail "msiexec $args: $state"
    # Windows Installer makes its folder and empty keys on first use; nothing else may stay.
    [ -n "$version" ] || left=$(snapshot | diff before - | grep '^[<>]' | grep -Ev '^> (|drive_c/windows/Installer|\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer(\\(Features|Products|UpgradeCodes))?|Microsoft\\Windows\\CurrentVersion\\Installer\\(UpgradeCodes|UserData(\\S-1-5-18(\\(Components|Products))?)?))\])$' || true)
    [ -z "${left:-}" ] || fail "msiexec $args left behind: $left"
done <<STEPS
/i this.msi|0|1.0.0.1|this
/i next.msi|0|1.0.0.2|next
/i older.msi|1603|1.0.0.2|next
/x next.msi|0||none
/i this.msi ADDLOCAL=Main|0|1.0.0.1|main
/x this.msi|0||none
STEPS

CORVANE_SIGN_PASSWORD="throwaway-$$-$(date +%s%N)"
export CORVANE_SIGN_PASSWORD
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
    -passout env:CORVANE_SIGN_PASSWORD -out "$work/signer.p12"
clean_build "$work/signed" -DCORVANE_SIGN_PKCS12="$work/signer.p12" >/dev/null
verify=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/corvane-r.exe" 2>&1) ||
    fail "signature not verified: $verify"
printf '%s\n' "$verify" | grep -qi 'digest algorithm *: *SHA256' || fail "signature is not SHA-256"
verify=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/$msi" 2>&1) ||
    fail "MSI signature not verified: $verify"
msiextract -C "$work/signed/msi" "$work/signed/$msi" >/dev/null
cmp -s "$work/signed/corvane-r.exe" "$work/signed/msi/Program Files/Corvane/corvane-r.exe" ||
    fail "the signed MSI does not hold the signed executable"
! grep -rqa -- "$CORVANE_SIGN_PASSWORD" "$work/signed" "$work/signed.log" ||
    fail "the password was written to the build tree or its log"

[ "$failures" -eq 0 ] || { echo "release checks: $failures failed"; exit 1; }
wineserver -k 2>/dev/null || true
rm -rf "$work"
echo "release checks passed: reproducible, package, MSI, signing"
