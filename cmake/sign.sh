#!/bin/sh
# sign.sh OSSLSIGNCODE PKCS12 IMAGE [TIMESTAMP_URL]: signs IMAGE in place,
# SHA-256 digests; with TIMESTAMP_URL the signature carries an RFC 3161
# timestamp from that server, so it stays valid after the certificate
# expires. The password is read from CORVANE_SIGN_PASSWORD and passed on a
# pipe.
set -eu
osslsigncode=$1 pkcs12=$2 image=$3 timestamp=${4:-}
corvane_top=$(dirname "$0")/.. && . "$(dirname "$0")/project-names.sh"
if [ -z "${CORVANE_SIGN_PASSWORD+set}" ]; then
    echo "sign.sh: set CORVANE_SIGN_PASSWORD to the password of $pkcs12" >&2
    exit 1
fi
signed="$image.signed"
rm -f "$signed"
printf '%s' "$CORVANE_SIGN_PASSWORD" |
    "$osslsigncode" sign -pkcs12 "$pkcs12" -readpass /dev/stdin -h sha256 \
        -n "$corvane_product" ${timestamp:+-ts "$timestamp"} \
        -in "$image" -out "$signed" >/dev/null
mv "$signed" "$image"
