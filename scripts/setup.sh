#!/usr/bin/env bash
# Installs what building, packaging and running under Wine needs, when it is missing (Debian).
set -euo pipefail
need=()
for pair in x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix \
            x86_64-w64-mingw32-windres:binutils-mingw-w64-x86-64 \
            cmake:cmake wine:wine Xvfb:xvfb import:imagemagick \
            xdotool:xdotool python3:python3 makensis:nsis zip:zip \
            osslsigncode:osslsigncode openssl:openssl wixl:wixl msibuild:msitools; do
    command -v "${pair%%:*}" >/dev/null 2>&1 || need+=("${pair#*:}")
done
[ -d /usr/src/googletest ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing: ${need[*]}"
    SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}" mingw-w64-tools wine64 >/dev/null
fi
