#!/bin/bash
# Installs everything the build, the demo and the tests need on Debian 12.
# Must run as root; prints the command to run otherwise.
set -euo pipefail

if [ "$(id -u)" != 0 ]; then
    echo "Installing build and test dependencies needs root. Run:" >&2
    echo "  sudo bash $(realpath "$0")" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -q
# Each line is used: the build and the native unit tests; the 32-bit
# program; Wine in both architectures; the 64-bit test helpers; a display
# for the message boxes and their screenshots (import, convert); Japanese
# text and the locales; the post-link step, the PE checks and the CI
# workflow's check; the fuzz targets; the signing; the virtual machine
# that runs the Windows-side tests where the kernel refuses 32-bit code
# (scripts/vm.sh: its kernel is fetched there with apt-get download, never
# installed).
apt-get install -y -q --no-install-recommends \
    cmake make g++ googletest \
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev \
    wine wine32:i386 wine64 \
    g++-mingw-w64-x86-64 \
    xvfb imagemagick \
    fonts-ipafont-gothic locales \
    python3 python3-pefile python3-yaml \
    clang-14 libclang-rt-14-dev \
    osslsigncode openssl \
    qemu-system-x86 busybox-static cpio

# The tests show Tavrel's messages under each of these locales.
missing_locale=0
for name in ja_JP en_US de_DE ko_KR; do
    if ! locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8\$"; then
        sed -i "s/^# *$name.UTF-8 UTF-8/$name.UTF-8 UTF-8/" /etc/locale.gen
        grep -q "^$name.UTF-8 UTF-8" /etc/locale.gen || echo "$name.UTF-8 UTF-8" >> /etc/locale.gen
        missing_locale=1
    fi
done
if [ "$missing_locale" = 1 ]; then
    locale-gen
fi
