#!/bin/sh
# What a release needs beyond a working executable:
#  - reproducible: clean builds in two other directories give the same bytes
#    as each other and as this build tree's (unless this one is signed);
#  - the ZIP holds the expected files, and its SHA256SUMS checks out;
#  - signing with a throwaway certificate verifies with SHA-256, and the
#    password reaches neither the build tree nor its log.
#   check_release.sh SOURCE_DIR BUILD_DIR VENDOR_KEY THIS_BUILD_SIGNED(0|1)
set -eu
source_dir=$1 build=$2 vendor=$3 signed=$4
work="$build/release-checks"
rm -rf "$work"
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

clean_build() { # DIR [CMAKE ARGS]
    dir=$1
    shift
    cmake -S "$source_dir" -B "$dir" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" \
        -DCORVANE_CLIENT_VENDOR_KEY="$vendor" "$@" >/dev/null
    cmake --build "$dir" --target corvane-r >"$dir.log" 2>&1
}
hash_of() { sha256sum "$1" | cut -d' ' -f1; }

clean_build "$work/first"
clean_build "$work/second/at/another/depth"
first=$(hash_of "$work/first/corvane-r.exe")
[ "$first" = "$(hash_of "$work/second/at/another/depth/corvane-r.exe")" ] ||
    fail "two clean builds differ"
[ "$signed" = 1 ] || [ "$first" = "$(hash_of "$build/corvane-r.exe")" ] ||
    fail "this build tree's executable differs from the clean builds"

(cd "$build" && cpack -B "$work/package" >/dev/null)
name=corvane-r-1.0.0.1-win32
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$work/package/$name.zip")
listing=$(cd "$work/unpacked/$name" && find . -type f | sort | tr '\n' ' ')
[ "$listing" = "./DEPLOYMENT.md ./LICENSE ./README.md ./SHA256SUMS ./corvane-r.exe ./tools/client-standin.exe " ] ||
    fail "the ZIP holds: $listing"
(cd "$work/unpacked/$name" && sha256sum --quiet --strict -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 5 ]) ||
    fail "SHA256SUMS does not check out over the five files"

CORVANE_SIGN_PASSWORD="throwaway-$$-$(date +%s%N)"
export CORVANE_SIGN_PASSWORD
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
    -passout env:CORVANE_SIGN_PASSWORD -out "$work/signer.p12"
clean_build "$work/signed" -DCORVANE_SIGN_PKCS12="$work/signer.p12"
verify=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed/corvane-r.exe" 2>&1) ||
    fail "signature not verified: $verify"
printf '%s\n' "$verify" | grep -qi 'digest algorithm *: *SHA256' || fail "signature is not SHA-256"
! grep -rqa -- "$CORVANE_SIGN_PASSWORD" "$work/signed" "$work/signed.log" ||
    fail "the password was written to the build tree or its log"

if [ "$failures" -ne 0 ]; then
    echo "release checks: $failures failed"
    exit 1
fi
rm -rf "$work"
echo "release checks: reproducible, package and signing all passed"
