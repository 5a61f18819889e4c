#!/usr/bin/env bash
# Authenticode-signs one file in place with SIGN_PFX (PKCS#12) and SIGN_PASS, under the
# PRODUCT_NAME its caller took from product.sh and exported.
set -euo pipefail
FILE="$1"
osslsigncode sign -pkcs12 "$SIGN_PFX" -readpass <(printf '%s' "${SIGN_PASS:-}") \
    -n "${PRODUCT_NAME:?}" -h sha256 -in "$FILE" -out "$FILE.signed" >/dev/null
mv -f "$FILE.signed" "$FILE"
