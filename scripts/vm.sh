#!/bin/bash
# A virtual machine that runs 32-bit x86 code where this machine's kernel
# refuses it: QEMU's system emulator (software only, no KVM needed) boots
# Debian's own kernel, whose root is this machine's own root, shared over
# virtio-9p. The guest so has exactly this machine's packages, and every
# folder at the same path; it keeps its own /proc, /sys, /dev, /tmp and
# /run in its memory, so nothing it writes there reaches this machine.
#
#   vm.sh prepare
#       Fetches the kernel (apt-get download; never installed, as that would
#       change this machine's /boot and boot loader), unpacks it into the
#       cache, and packs the small boot image.
#   vm.sh run [--timeout SECONDS] [--keep PATH]... [--] COMMAND [ARGS...]
#       Boots the VM and runs COMMAND there as root in the current folder,
#       with this shell's exported variables (HOME is a fresh folder in the
#       guest's /tmp). Its output reaches this terminal as it comes, and
#       vm.sh exits with its exit code. A PATH under /tmp stays visible in
#       the guest (the current folder, the checkout and the build folder
#       always do). Where the VM cannot start, the command does not end in
#       time (default 3600 s), or no exit code comes back, vm.sh says so in
#       one line and exits 125.
#
# Settings (environment):
#   TAVREL_VM_CACHE     the kernel and boot image (default ~/.cache/tavrel/vm)
#   TAVREL_VM_OFFLINE=1 never download: use only what the cache holds
#   TAVREL_VM_MEMORY    guest memory (default 16G); its /tmp may fill it
#   TAVREL_VM_CPUS      virtual CPUs (default: this machine's cores)
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
CACHE="${TAVREL_VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tavrel/vm}"
# The modules the guest loads before it can mount its root, in order.
MODULES="virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci
         9pnet 9pnet_virtio netfs fscache 9p"
BOOT_SECONDS=300  # from QEMU's start to the command's start

vm_fail() {
    echo "vm.sh: $*" >&2
    exit 125
}

# The kernel package the archive names for this release (linux-image-amd64
# depends on exactly one).
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null \
        | sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1
}

prepare() {
    local missing=() tool
    for tool in qemu-system-x86_64 cpio dpkg-deb; do
        command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
    done
    [ -x /bin/busybox ] && file_is_static /bin/busybox || missing+=("busybox-static")
    if [ ${#missing[@]} -gt 0 ]; then
        vm_fail "cannot build the VM: missing ${missing[*]}" \
                "(sudo bash $ROOT/scripts/install-deps.sh installs them)"
    fi
    mkdir -p "$CACHE"
    local kernel_dir
    kernel_dir="$(find "$CACHE" -maxdepth 1 -type d -name 'linux-image-*' | sort | tail -n 1)"
    if [ -z "$kernel_dir" ] || [ ! -f "$kernel_dir/.unpacked" ]; then
        [ "${TAVREL_VM_OFFLINE:-0}" != 1 ] ||
            vm_fail "the VM cannot start: no kernel in $CACHE, and TAVREL_VM_OFFLINE=1 forbids the download"
        local package
        package="$(kernel_package)"
        [ -n "$package" ] ||
            vm_fail "the VM cannot start: apt knows no linux-image-amd64 (apt-get update?)"
        kernel_dir="$CACHE/$package"
        local download
        download="$(mktemp -d "$CACHE/download.XXXXXX")"
        if ! (cd "$download" && apt-get download -q "$package" >/dev/null 2>"$download/errors"); then
            vm_fail "the VM cannot start: apt-get download $package failed:" \
                    "$(tail -n 1 "$download/errors")"
        fi
        rm -rf "$kernel_dir"
        dpkg-deb -x "$download"/*.deb "$kernel_dir" ||
            vm_fail "the VM cannot start: could not unpack $package"
        rm -rf "$download"
        touch "$kernel_dir/.unpacked"
    fi
    local vmlinuz modules_dir
    vmlinuz="$(ls "$kernel_dir"/boot/vmlinuz-* 2>/dev/null | head -n 1)"
    modules_dir="$(ls -d "$kernel_dir"/lib/modules/* 2>/dev/null | head -n 1)"
    [ -n "$vmlinuz" ] && [ -n "$modules_dir" ] ||
        vm_fail "the VM cannot start: $kernel_dir holds no kernel and modules"
    ln -sfn "$vmlinuz" "$CACHE/vmlinuz"
    local stamp="$CACHE/initrd.stamp" want
    want="$(sha1sum "$0" /bin/busybox | sha1sum | cut -c1-40) $vmlinuz"
    if [ -f "$CACHE/initrd.img" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ]; then
        return 0
    fi
    build_initrd "$modules_dir" "$CACHE/initrd.img"
    echo "$want" > "$stamp"
}

file_is_static() {
    ! LC_ALL=C readelf -l "$1" 2>/dev/null | grep -q 'Requesting program interpreter'
}

# The boot image: busybox, the modules for virtio and 9p, and an init that
# mounts this machine's root and hands over to the guest's own setup below.
build_initrd() {
    local modules_dir="$1" out="$2" tree module path
    tree="$(mktemp -d "$CACHE/initrd.XXXXXX")"
    mkdir -p "$tree"/{bin,dev,proc,sys,newroot,modules}
    cp /bin/busybox "$tree/bin/busybox"
    for module in $MODULES; do
        path="$(find "$modules_dir" -name "$module.ko*" | head -n 1)"
        [ -n "$path" ] || { rm -rf "$tree"; vm_fail "the VM cannot start: no module $module in $modules_dir"; }
        case "$path" in
            *.ko) cp "$path" "$tree/modules/$module.ko" ;;
            *.ko.xz) xz -dc "$path" > "$tree/modules/$module.ko" ;;
            *.ko.zst) zstd -qdc "$path" > "$tree/modules/$module.ko" ;;
            *) rm -rf "$tree"; vm_fail "the VM cannot start: cannot unpack $path" ;;
        esac
    done
    echo "$MODULES" | tr -s ' \n' '\n\n' | sed '/^$/d' > "$tree/modules/order"
    cat > "$tree/init" <<'EOF'
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t devtmpfs dev /dev
exec </dev/console >/dev/console 2>&1
fail() {
    echo "vm.sh: the VM cannot start: $*"
    reboot -f
}
for module in $(cat /modules/order); do
    insmod /modules/$module.ko || fail "could not load the module $module"
done
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose root /newroot ||
    fail "could not mount this machine's root over 9p"
job="$(sed -n 's/.*tavrel.job=\([^ ]*\).*/\1/p' /proc/cmdline)"
[ -f "/newroot$job/guest-setup" ] || fail "no job at $job"
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
umount /proc
exec switch_root /newroot /bin/bash "$job/guest-setup" "$job"
EOF
    chmod +x "$tree/init"
    (cd "$tree" && find . | cpio -o -H newc --quiet | gzip -1) > "$out.new"
    mv -f "$out.new" "$out"
    rm -rf "$tree"
}

# Runs in the guest as its init, with this machine's root as its root.
guest_setup() {
    cat <<'EOF'
#!/bin/bash
job="$1"
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 shm /dev/shm
ln -sfn /proc/self/fd /dev/fd
ln -sfn fd/0 /dev/stdin; ln -sfn fd/1 /dev/stdout; ln -sfn fd/2 /dev/stderr
stty -F /dev/console -onlcr 2>/dev/null
# The guest's own /tmp and /run; the folders under /tmp that it must still
# see are the host's, bound back into place.
mapfile -t keep < "$job/keep"
mkdir -p /dev/.host-tmp
mount --bind /tmp /dev/.host-tmp
mount -t tmpfs -o mode=1777 tmp /tmp
mount -t tmpfs -o mode=755 run /run
for path in "${keep[@]}"; do
    case "$path" in
        /tmp/*) mkdir -p "$path" && mount --bind "/dev/.host-tmp/${path#/tmp/}" "$path" ;;
    esac
done
hostname tavrel-vm
ip link set lo up 2>/dev/null
mkdir -p /tmp/home
: > "$job/started"
(
    set -a
    source "$job/environment"
    set +a
    export HOME=/tmp/home
    unset DISPLAY XAUTHORITY TMPDIR
    cd "$(cat "$job/cwd")" && exec "$job/command" </dev/null
) 2>&1 | cat >/dev/console  # a pipe, as on the host: no terminal, no colours
echo "${PIPESTATUS[0]}" > "$job/status.new"
mv -f "$job/status.new" "$job/status"
sync
/bin/busybox poweroff -f
sleep 60
EOF
}

run() {
    local timeout=3600 keep=()
    while [ $# -gt 0 ]; do
        case "$1" in
            --timeout) timeout="$2"; shift 2 ;;
            --keep) keep+=("$2"); shift 2 ;;
            --) shift; break ;;
            -*) vm_fail "unknown option $1" ;;
            *) break ;;
        esac
    done
    [ $# -gt 0 ] || vm_fail "usage: vm.sh run [--timeout SECONDS] [--keep PATH]... [--] COMMAND..."
    prepare
    job="$(mktemp -d "$CACHE/job.XXXXXX")"
    trap 'rm -rf "$job"' EXIT
    guest_setup > "$job/guest-setup"
    chmod +x "$job/guest-setup"
    # The command, its folder, the variables, the folders it must see.
    {
        echo '#!/bin/bash'
        printf 'exec'
        printf ' %q' "$@"
        echo
    } > "$job/command"
    chmod +x "$job/command"
    pwd > "$job/cwd"
    export -p | grep -v -E '^declare -[a-zA-Z-]* (BASH_|SHLVL|PWD|OLDPWD|_=)' > "$job/environment" || true
    printf '%s\n' "$job" "$(pwd)" "$ROOT" "${TAVREL_BUILD_DIR:-$ROOT/build}" "${keep[@]}" \
        | while IFS= read -r path; do realpath -m "$path"; done > "$job/keep"
    local security=passthrough
    [ "$(id -u)" = 0 ] || security=none
    local cpus="${TAVREL_VM_CPUS:-$(nproc)}"
    # -cpu max alone breaks 32-bit Wine under TCG (an oops at each 32-bit
    # process); without SMAP and PKU it runs.
    set +e
    timeout --kill-after=10 "$timeout" qemu-system-x86_64 \
        -nodefaults -no-user-config -no-reboot -display none \
        -accel tcg,thread=multi -smp "$cpus" -m "${TAVREL_VM_MEMORY:-16G}" \
        -cpu max,smap=off,pku=off \
        -kernel "$CACHE/vmlinuz" -initrd "$CACHE/initrd.img" \
        -append "console=ttyS0 quiet loglevel=0 panic=-1 tavrel.job=$job" \
        -chardev stdio,id=console,signal=off -serial chardev:console \
        -virtfs "local,path=/,mount_tag=root,security_model=$security,multidevs=remap" \
        </dev/null 2>"$job/qemu.errors" &
    local qemu=$! waited=0
    set -e
    while [ ! -f "$job/started" ] && kill -0 $qemu 2>/dev/null; do
        if [ $waited -ge $BOOT_SECONDS ]; then
            kill $qemu 2>/dev/null
            wait $qemu 2>/dev/null
            vm_fail "the VM did not start its command within $BOOT_SECONDS s"
        fi
        sleep 1
        waited=$((waited + 1))
    done
    local qemu_status=0
    wait $qemu || qemu_status=$?
    if [ ! -f "$job/started" ]; then
        vm_fail "the VM cannot start (QEMU exit $qemu_status): $(tail -n 1 "$job/qemu.errors" 2>/dev/null)"
    fi
    if [ $qemu_status = 124 ] || [ $qemu_status = 137 ]; then
        vm_fail "the command in the VM did not end within $timeout s; the VM was stopped"
    fi
    [ -f "$job/status" ] ||
        vm_fail "no exit code came back from the VM (QEMU exit $qemu_status): $(tail -n 1 "$job/qemu.errors" 2>/dev/null)"
    return "$(cat "$job/status")"
}

case "${1:-}" in
    prepare) prepare ;;
    run) shift; run "$@" ;;
    *) sed -n '2,30p' "$0" >&2; exit 2 ;;
esac
