#!/usr/bin/env bash
# Packaging checks (run by ctest under the test prefix's Wine environment):
#   tests/e2e/test_packaging.sh <dist folder> <version> <setup made by the build>
#                               <MSI made by the build> <msi_actions.dll>
# - the build's own setup and MSI carry no signature;
# - with SIGN_PFX/SIGN_PASS (a throwaway self-signed certificate made here) the programs,
#   the uninstaller and the setup verify against that certificate;
# - with WUSB_DIR, the vendor's wusb.dll and its companion DLLs go in, the stand-in's
#   scenario does not, and the uninstaller removes the companion again; the same for the MSI
#   (signed, the companion in its file table, the stand-in's files not).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
DIST="$1"; VERSION="$2"; BUILT_SETUP="$3"; BUILT_MSI="$4"; ACTIONS_DLL="$5"
. "$BUILD_DIR/generated/product.sh"
WORK="$(mktemp -d /tmp/q5-packaging.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
verify() { osslsigncode verify -CAfile "$WORK/cert.pem" -in "$1" >"$WORK/verify.log" 2>&1; }

verify "$BUILT_SETUP" && fail "the build's setup is signed without SIGN_PFX"
verify "$BUILT_MSI" && fail "the build's MSI is signed without SIGN_PFX"

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" -days 2 \
    -subj "/CN=$PRODUCT_NAME test signing" 2>/dev/null
openssl pkcs12 -export -inkey "$WORK/key.pem" -in "$WORK/cert.pem" -out "$WORK/cert.pfx" \
    -passout pass:throwaway
mkdir "$WORK/vendor"
cp "$DIST/wusb.dll" "$WORK/vendor/wusb.dll"
cp "$DIST/wusb.dll" "$WORK/vendor/wusbcomp.dll"   # a companion the vendor's library needs

SIGN_PFX="$WORK/cert.pfx" SIGN_PASS=throwaway WUSB_DIR="$WORK/vendor" \
    "$ROOT/packaging/make_installer.sh" "$DIST" "$WORK/out" "$VERSION" >/dev/null
SETUP="$WORK/out/$PRODUCT_FILE_STEM-Setup-$VERSION.exe"
verify "$SETUP" || fail "setup signature: $(cat "$WORK/verify.log")"
verify "$WORK/out/stage/$PRODUCT_NAME/$PRODUCT_EXE" || fail "exe signature: $(cat "$WORK/verify.log")"

# The uninstaller exists only inside the setup: install to see it (a folder without spaces,
# so wine passes "_?=" unquoted).
INST="$WORK/inst"
wine "$(winepath -w "$SETUP")" /S "/D=$(winepath -w "$INST")" >/dev/null 2>&1 || fail "setup exit $?"
verify "$INST/uninstall.exe" || fail "uninstaller signature: $(cat "$WORK/verify.log")"
[ -f "$INST/wusbcomp.dll" ] || fail "companion DLL not installed"
[ -e "$INST/wusb_sim.ini" ] && fail "stand-in scenario installed with the vendor's library"
wine "$(winepath -w "$INST/uninstall.exe")" /S "_?=$(winepath -w "$INST")" >/dev/null 2>&1 \
    || fail "uninstall exit $?"
rm -f "$INST/uninstall.exe"
[ -z "$(ls -A "$INST")" ] || fail "left after uninstall: $(ls -A "$INST")"

SIGN_PFX="$WORK/cert.pfx" SIGN_PASS=throwaway WUSB_DIR="$WORK/vendor" \
    "$ROOT/packaging/make_msi.sh" "$DIST" "$WORK/msi-out" "$VERSION" "$ACTIONS_DLL" >/dev/null
MSI="$WORK/msi-out/$PRODUCT_FILE_STEM-$VERSION-x64.msi"
verify "$MSI" || fail "MSI signature: $(cat "$WORK/verify.log")"
FILES="$(msiinfo export "$MSI" File | cut -f3)"
grep -qx wusbcomp.dll <<<"$FILES" || fail "companion DLL not in the MSI"
grep -qx wusb_sim.ini <<<"$FILES" && fail "stand-in scenario in the MSI with the vendor's library"
echo "signatures verified; vendor library and companion packaged (setup and MSI) and removed"
