#!/usr/bin/env bash
# Authenticode-signs one Windows executable in place with osslsigncode. The signer is named by
#   ORBIVANE_SIGN_CERT             the code-signing certificate (PEM or DER; a PEM file may add its chain)
#   ORBIVANE_SIGN_KEY              its private key (PEM or DER)
#   ORBIVANE_SIGN_PASSWORD_FILE    optional: a file holding the key's password
#   ORBIVANE_SIGN_TIMESTAMP_URL    optional: an RFC 3161 time stamp server
# Without a time stamp server the signature carries SOURCE_DATE_EPOCH as its signing time, so that a signed
# build repeats byte for byte with the same key.
# Usage: sign.sh <file.exe|file.scr>
set -euo pipefail
file=$1
args=(sign -certs "$ORBIVANE_SIGN_CERT" -key "$ORBIVANE_SIGN_KEY" -h sha256 -n Orbivane)
[[ -n ${ORBIVANE_SIGN_PASSWORD_FILE:-} ]] && args+=(-readpass "$ORBIVANE_SIGN_PASSWORD_FILE")
if [[ -n ${ORBIVANE_SIGN_TIMESTAMP_URL:-} ]]; then
  args+=(-ts "$ORBIVANE_SIGN_TIMESTAMP_URL")
elif [[ -n ${SOURCE_DATE_EPOCH:-} ]]; then
  args+=(-time "$SOURCE_DATE_EPOCH")
fi
rm -f "$file.signed"
osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null
mv -f "$file.signed" "$file"
