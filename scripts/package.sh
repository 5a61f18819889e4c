#!/usr/bin/env bash
# Builds the release into build/release/: the per-user setup, the per-machine MSI, a
# portable zip of the program folder as installed, the administrative template for Group
# Policy and Intune (ADMX with its ADML language folders), and SHA256SUMS for all four.
#   WUSB_DIR=<folder>     package the vendor's wusb.dll and every other DLL of that folder
#                         instead of the stand-in (nothing is rebuilt for it)
#   SIGN_PFX=<file.pfx>   Authenticode-sign the programs, the uninstaller, the setup and the MSI,
#   SIGN_PASS=<password>  with this certificate; unset: nothing is signed
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
"$ROOT/scripts/build.sh" >/dev/null
VERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")"
RELEASE="$BUILD_DIR/release"
WORK="$BUILD_DIR/release-work"
. "$BUILD_DIR/generated/product.sh"
SETUP="$PRODUCT_FILE_STEM-Setup-$VERSION.exe"
ZIP="$PRODUCT_FILE_STEM-$VERSION-portable.zip"
MSI="$PRODUCT_FILE_STEM-$VERSION-x64.msi"
ADMX="$PRODUCT_FILE_STEM-$VERSION-admx.zip"

rm -rf "$RELEASE" "$WORK" && mkdir -p "$RELEASE"
"$ROOT/packaging/make_installer.sh" "$BUILD_DIR/dist" "$WORK" "$VERSION" >/dev/null
mv "$WORK/$SETUP" "$RELEASE/"
"$ROOT/packaging/make_msi.sh" "$BUILD_DIR/dist" "$WORK" "$VERSION" "$BUILD_DIR/packaging/msi_actions.dll" >/dev/null
mv "$WORK/$MSI" "$RELEASE/"
# The zip holds the product's folder exactly as setup installs it (without the uninstaller).
(cd "$WORK/stage" && zip -qrX "$RELEASE/$ZIP" "$PRODUCT_NAME")
# The template as the build generated it, laid out as PolicyDefinitions wants it.
(cd "$BUILD_DIR/policy" && zip -qrX "$RELEASE/$ADMX" .)
(cd "$RELEASE" && sha256sum "$SETUP" "$MSI" "$ZIP" "$ADMX" >SHA256SUMS)

echo "$PRODUCT_NAME $VERSION in $RELEASE"
LIBRARY="the stand-in wusb.dll (WUSB_DIR=<folder> packages the vendor library)"
[ -n "${WUSB_DIR:-}" ] && LIBRARY="the DLLs of $WUSB_DIR"
SIGNED="no (SIGN_PFX and SIGN_PASS sign it)"
[ -n "${SIGN_PFX:-}" ] && SIGNED="yes, with $SIGN_PFX"
echo "  library: $LIBRARY"
echo "  signed:  $SIGNED"
# What Intune's detection rule and "msiexec /x" need.
echo "  MSI product code: $(msiinfo export "$RELEASE/$MSI" Property | sed -n 's/^ProductCode\t//p' | tr -d '\r')"
(cd "$WORK/stage/$PRODUCT_NAME" && find . -type f | sed 's|^\./|    |' | sort)
(cd "$RELEASE" && for f in "$SETUP" "$MSI" "$ZIP" "$ADMX"; do printf '  %-36s %8d bytes\n' "$f" "$(stat -c %s "$f")"; done)
sed 's/^/  /' "$RELEASE/SHA256SUMS"
