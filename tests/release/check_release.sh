#!/bin/sh
# What a release needs beyond a working executable: clean builds in two other
# directories give the same bytes as each other and as this build tree
# (unless it is signed); the ZIP holds the expected files and its SHA256SUMS
# checks out; signing with a throwaway certificate verifies with SHA-256, and
# the password reaches neither the build tree nor its log.
#   check_release.sh SOURCE_DIR BUILD_DIR VENDOR_KEY THIS_BUILD_SIGNED(0|1)
set -eu
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
    cmake --build "$dir" --target corvane-r >"$dir.log" 2>&1
    sha256sum "$dir/corvane-r.exe" | cut -d' ' -f1
}

first=$(clean_build "$work/first")
[ "$first" = "$(clean_build "$work/second/at/another/depth")" ] || fail "two clean builds differ"
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
cd - >/dev/null

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
! grep -rqa -- "$CORVANE_SIGN_PASSWORD" "$work/signed" "$work/signed.log" ||
    fail "the password was written to the build tree or its log"

[ "$failures" -eq 0 ] || { echo "release checks: $failures failed"; exit 1; }
rm -rf "$work"
echo "release checks passed: reproducible, package, signing"
