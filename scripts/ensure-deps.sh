# Sourced: makes sure the build and test dependencies are installed. As root
# it installs what is missing; otherwise it prints the command to run.
ensure_deps() {
    local root
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    local missing=0
    for tool in cmake i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-windres wine wineserver Xvfb import clang++-14 osslsigncode openssl qemu-system-x86_64 cpio; do
        command -v "$tool" >/dev/null 2>&1 || missing=1
    done
    [ -d /usr/src/googletest ] || missing=1
    dpkg -s wine32:i386 wine64 >/dev/null 2>&1 || missing=1
    dpkg -s fonts-ipafont-gothic python3-pefile python3-yaml libclang-rt-14-dev busybox-static >/dev/null 2>&1 || missing=1
    for name in ja_JP en_US de_DE ko_KR; do
        locale -a 2>/dev/null | grep -qi "^$name\.utf-\?8\$" || missing=1
    done
    [ "$missing" = 0 ] && return 0
    if [ "$(id -u)" = 0 ]; then
        bash "$root/scripts/install-deps.sh"
    else
        echo "Some dependencies are missing. Install them with:" >&2
        echo "  sudo bash $root/scripts/install-deps.sh" >&2
        return 1
    fi
}
