# Sourced by the demo and the tests: whether this machine can run Tavrel.exe
# at all. Tavrel is a 32-bit x86 program, so Wine's 32-bit loader must start,
# and that needs a kernel that runs 32-bit x86 code.
#
#   check_kernel_runs_32bit
#       Starts a tiny 32-bit x86 Linux program. Returns 0 when it ran; else
#       prints why not (one line) and returns 1. No package changes that.
#   check_wine_runs_32bit
#       Wine's 32-bit package and loader. Returns 0 when `wine --version`
#       answers; else prints what is missing (one line) and returns 2: the
#       install script mends that.
#
# TAVREL_FORCE_HOST_FAILURE=kernel (or wine32) makes the check report that
# failure on any machine, to try the scripts' own handling of it.

# 93 bytes: an ELF header, one loadable segment and
#   xor ebx,ebx; mov bl,42; xor eax,eax; inc eax; int 0x80   (exit(42))
# A 32-bit program that runs exits 42; a kernel without IA-32 emulation
# refuses it with ENOEXEC, whatever is installed.
tavrel_ia32_probe_bytes() {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
    printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
    printf '\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'
    printf '\x00\x10\x00\x00\x31\xdb\xb3\x2a\x31\xc0\x40\xcd\x80'
}

check_kernel_runs_32bit() {
    if [ "${TAVREL_FORCE_HOST_FAILURE:-}" = kernel ]; then
        echo "This machine cannot run Tavrel.exe: its kernel refuses every 32-bit x86 program" \
             "(forced by TAVREL_FORCE_HOST_FAILURE=kernel), so Wine's 32-bit loader cannot start;" \
             "no package or setting on this machine changes that."
        return 1
    fi
    local dir status errors
    dir="$(mktemp -d "${TMPDIR:-/tmp}/tavrel-ia32.XXXXXX")" || return 1
    tavrel_ia32_probe_bytes >"$dir/probe"
    chmod +x "$dir/probe"
    errors="$( ("$dir/probe") 2>&1 >/dev/null )"
    status=$?
    rm -rf "$dir"
    [ "$status" = 42 ] && return 0
    if [[ "$errors" == *"Exec format error"* ]]; then
        echo "This machine cannot run Tavrel.exe: its kernel refuses every 32-bit x86 program" \
             "(execve gives ENOEXEC: IA-32 emulation is off), so Wine's 32-bit loader cannot start;" \
             "no package or setting on this machine changes that."
    else
        echo "This machine cannot run Tavrel.exe: a 32-bit x86 test program did not run" \
             "(exit $status${errors:+: ${errors##*: }}; is ${TMPDIR:-/tmp} mounted noexec?)."
    fi
    return 1
}

check_wine_runs_32bit() {
    local reason=
    if [ "${TAVREL_FORCE_HOST_FAILURE:-}" = wine32 ]; then
        reason="forced by TAVREL_FORCE_HOST_FAILURE=wine32"
    elif ! dpkg -s wine32:i386 >/dev/null 2>&1 || [ ! -x /usr/lib/wine/wine ]; then
        reason="the package wine32:i386 is not installed"
    elif [ -z "$(wine --version 2>/dev/null)" ]; then
        reason="wine --version printed nothing"
    else
        return 0
    fi
    echo "Wine's 32-bit loader does not start ($reason); sudo bash scripts/install-deps.sh" \
         "installs Wine's 32-bit package (wine32:i386) and the i386 architecture."
    return 2
}
