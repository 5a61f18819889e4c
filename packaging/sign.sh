#!/usr/bin/env bash
# Authenticode-signs one file in place with SIGN_PFX (PKCS#12) and SIGN_PASS.
set -euo pipefail
FILE="$1"
osslsigncode sign -pkcs12 "$SIGN_PFX" -readpass <(printf '%s' "${SIGN_PASS:-}") \
    -n "VELTRIX Q5" -h sha256 -in "$FILE" -out "$FILE.signed" >/dev/null
mv -f "$FILE.signed" "$FILE"
