#!/usr/bin/env bash
# Lays out the program folder as both packages install it, from a built program folder:
#   packaging/stage.sh <dist folder> <stage folder>
# The programs, the library folder's DLLs, Setting.ini and lang\; with the stand-in also its
# world wusb_sim.ini.
#   WUSB_DIR=<folder>      that folder's wusb.dll and other DLLs instead of the stand-in
#   SIGN_PFX, SIGN_PASS    Authenticode-sign the programs
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
DIST="$1"; STAGE="$2"
rm -rf "$STAGE" && mkdir -p "$STAGE/lang"
find "$DIST" -maxdepth 1 -type f -iname '*.exe' -exec cp {} "$STAGE/" \;
cp "$DIST/Setting.ini" "$STAGE/"
cp "$DIST"/lang/*.ini "$STAGE/lang/"
if [ -n "${WUSB_DIR:-}" ]; then
    # The vendor's library with every companion it needs, and none of the stand-in.
    find "$WUSB_DIR" -maxdepth 1 -type f -iname 'wusb.dll' | grep -q . \
        || { echo "stage: no wusb.dll in $WUSB_DIR" >&2; exit 1; }
    find "$DIST" -maxdepth 1 -type f -iname '*.dll' ! -iname 'wusb.dll' -exec cp {} "$STAGE/" \;
    find "$WUSB_DIR" -maxdepth 1 -type f -iname '*.dll' -exec cp {} "$STAGE/" \;
else
    find "$DIST" -maxdepth 1 -type f -iname '*.dll' -exec cp {} "$STAGE/" \;
    cp "$DIST/wusb_sim.ini" "$STAGE/"   # the stand-in's world goes only with the stand-in
fi
if [ -n "${SIGN_PFX:-}" ]; then
    find "$STAGE" -maxdepth 1 -type f -iname '*.exe' -exec "$HERE/sign.sh" {} \;
fi
