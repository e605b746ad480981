#!/bin/sh
# Installs, only where missing, the Debian packages needed to build, run and
# test the program. Safe to run repeatedly; does nothing when all are present.
# "install-deps.sh fuzz" installs, in addition, clang and libFuzzer for make fuzz.
set -e

PACKAGES="
cmake make g++ pkg-config
qt6-base-dev qt6-serialport-dev libqt6sql6-sqlite libcups2-dev
cups cups-client printer-driver-cups-pdf poppler-utils
libzint-dev zbar-tools zxing-cpp-tools
libjpeg62-turbo-dev libjpeg-turbo-progs libfreexl-dev libsqlite3-dev
fonts-liberation2 fonts-wqy-microhei
python3-xlwt python3-openpyxl
libquazip1-qt6-dev libcsv-dev
postgresql libpq-dev
"
if [ "$1" = fuzz ]; then
    PACKAGES="$PACKAGES clang-14 libclang-rt-14-dev"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "Installing missing packages:$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
