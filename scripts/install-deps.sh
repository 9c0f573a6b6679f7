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
apt-get install -y -q --no-install-recommends \
    cmake make g++ googletest \
    g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev \
    wine wine32:i386 \
    xvfb x11-utils imagemagick \
    fonts-ipafont-gothic locales \
    python3 python3-pefile python3-pil \
    clang-14 libclang-rt-14-dev \
    osslsigncode openssl

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen
fi
