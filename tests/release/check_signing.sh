#!/bin/sh
# Signs a build with a throwaway self-signed certificate and has
# osslsigncode verify it; the password must not reach the build tree.
#   check_signing.sh SOURCE_DIR WORK_DIR VENDOR_KEY
set -eu
source_dir=$1 work=$2 vendor=$3
rm -rf "$work"
mkdir -p "$work"
CORVANE_SIGN_PASSWORD="throwaway-$$-$(date +%s%N)"
export CORVANE_SIGN_PASSWORD

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Corvane test signer" \
    -addext extendedKeyUsage=codeSigning \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" \
    -passout env:CORVANE_SIGN_PASSWORD -out "$work/signer.p12"

build="$work/build"
cmake -S "$source_dir" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF -DCORVANE_CLIENT_VENDOR_KEY="$vendor" \
    -DCORVANE_SIGN_PKCS12="$work/signer.p12" >/dev/null
cmake --build "$build" --target corvane-r > "$work/build.log" 2>&1

failed=0
verify=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$build/corvane-r.exe" 2>&1) ||
    { echo "$verify"; echo "signature not verified"; failed=1; }
printf '%s\n' "$verify" | grep -qi 'digest algorithm *: *SHA256' ||
    { echo "signature does not use SHA-256"; failed=1; }
if grep -rqa -- "$CORVANE_SIGN_PASSWORD" "$build" "$work/build.log"; then
    echo "the password was written to the build tree or its log"
    failed=1
fi
if [ "$failed" -ne 0 ]; then
    echo "0 passed, 1 failed"
    exit 1
fi
rm -rf "$work"
echo "1 passed, 0 failed"
