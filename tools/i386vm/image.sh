#!/bin/bash
# image.sh [--print-key | --background LOG] - makes sure this machine has the
# i386 test machine's image and prints its folder: a Debian 12 i386 system with
# 32-bit Wine, Xvfb and CTest, its kernel and initrd, and a Wine prefix made at
# build time. With --background, a missing image starts building detached
# (output in LOG) and this returns at once; a later call waits for that build.
#
# The image is built once per machine into a cache folder outside the clone
# (FERROTUNE_I386VM_CACHE, by default /var/cache/ferrotune-i386vm for root,
# else ~/.cache/ferrotune-i386vm) under a name made from a hash of this file
# and guest/: it is rebuilt only when they change. Packages come from Debian's
# registry (FERROTUNE_I386VM_MIRROR) and are kept in the cache for rebuilds.
#
# debootstrap's second stage runs i386 programs. They run through
# qemu-i386-static, registered with binfmt_misc inside a user, mount and pid
# namespace of our own: the host's binfmt_misc is never touched (a host-wide
# i386 entry would send every 32-bit half of 64-bit Wine through the emulator).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

suite=bookworm
# The Debian mirror that this host's apt already uses (not its security one).
host_mirror() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^(https?|ftp):\/\//) { print $i; break } }
             $1 == "URIs:" { print $2 }' "$file"
    done | grep -v -- '-security' | head -n1
}
mirror=${FERROTUNE_I386VM_MIRROR:-$(host_mirror)}
[ -n "$mirror" ] || { echo "image.sh: no Debian mirror in apt's sources; set FERROTUNE_I386VM_MIRROR" >&2; exit 1; }
packages=(linux-image-686 wine wine32 xvfb xauth procps kmod cmake)
# The initramfs needs only what mounts the root disk; initramfs-tools'
# default (most modules) takes many minutes per initramfs under qemu-user.
initrd_modules=(virtio_pci virtio_blk ext4 crc32c_generic)
image_size=4G

if [ "$(id -u)" -eq 0 ]; then
    cache=${FERROTUNE_I386VM_CACHE:-/var/cache/ferrotune-i386vm}
else
    cache=${FERROTUNE_I386VM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ferrotune-i386vm}
fi

recipe_key() {
    (cd "$here" && sha256sum image.sh guest/*) | sha256sum | cut -c1-16
}

log() { echo "i386vm: $*" >&2; }

# in_namespace COMMAND...: runs COMMAND as root of a new user, mount, pid and
# network namespace in which the host's ids 0-65535 keep their numbers (so the
# tree's files get the owners that the packages give them).
in_namespace() {
    unshare --user --mount --pid --net --fork -- \
        bash -c 'until grep -q . /proc/self/uid_map; do sleep 0.1; done; exec "$@"' namespace "$@" &
    local pid=$! own
    own=$(readlink /proc/self/ns/user)
    for _ in $(seq 1 100); do
        [ "$(readlink /proc/$pid/ns/user 2>/dev/null)" != "$own" ] && break
        sleep 0.1
    done
    echo "0 0 65536" >/proc/$pid/uid_map
    echo "0 0 65536" >/proc/$pid/gid_map
    wait $pid
}

# Runs inside in_namespace: debootstrap's second stage in TREE.
second_stage() {
    local tree=$1
    mount -t proc proc /proc
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    # The usual i386 ELF entry; F opens the interpreter now, so it need not be
    # inside the tree.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$(command -v qemu-i386-static)"':F' \
        >/proc/sys/fs/binfmt_misc/register
    # container=lxc skips the device-node self-test, which a user namespace fails.
    container=lxc chroot "$tree" /debootstrap/debootstrap --second-stage
}

build() {
    local key=$1 work=$cache/build-$1 tree
    tree=$work/tree
    rm -rf "$work"
    mkdir -p "$work" "$cache/debs" || return 1

    log "first stage: downloading ${#packages[@]} packages and their dependencies for i386"
    debootstrap --foreign --arch=i386 --variant=minbase --cache-dir="$cache/debs" \
        --include="$(IFS=,; echo "${packages[*]}")" "$suite" "$tree" "$mirror" >"$work/stage1.log" 2>&1 ||
        { tail -n 30 "$work/stage1.log" >&2; return 1; }

    mkdir -p "$tree/etc/initramfs-tools/conf.d" "$tree/usr/share/initramfs-tools/modules.d"
    echo MODULES=list >"$tree/etc/initramfs-tools/conf.d/ferrotune"
    printf '%s\n' "${initrd_modules[@]}" >"$tree/usr/share/initramfs-tools/modules.d/ferrotune"
    printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
    chmod 755 "$tree/usr/sbin/policy-rc.d"

    log "second stage: installing them under qemu-i386 (several minutes)"
    in_namespace "$here/image.sh" --second-stage "$tree" >"$work/stage2.log" 2>&1 ||
        { tail -n 30 "$work/stage2.log" >&2; return 1; }

    install -m 755 "$here/guest/init" "$tree/sbin/ferrotune-init" || return 1
    echo i386vm >"$tree/etc/hostname"
    rm -f "$tree"/var/cache/apt/archives/*.deb
    cp "$(ls "$tree"/boot/vmlinuz-* | tail -n1)" "$work/vmlinuz" || return 1
    cp "$(ls "$tree"/boot/initrd.img-* | tail -n1)" "$work/initrd.img" || return 1

    log "making the disk image"
    truncate -s "$image_size" "$work/root.img" || return 1
    mke2fs -q -t ext4 -L i386vm -d "$tree" "$work/root.img" || return 1
    rm -rf "$tree"

    log "first boot: making the Wine prefix"
    "$here/run.sh" --setup-image "$work" >"$work/setup.log" 2>&1 ||
        { tail -n 30 "$work/setup.log" >&2; return 1; }

    echo "$key" >"$work/key" && mv "$work" "$cache/image-$key"
}

case ${1:-} in
--second-stage)
    second_stage "$2"
    exit
    ;;
--print-key)
    recipe_key
    exit
    ;;
--background)
    [ -f "$cache/image-$(recipe_key)/key" ] && exit 0
    mkdir -p "$(dirname "$2")"
    setsid "$0" </dev/null >"$2" 2>&1 &
    log "building the machine's image in the background (log: $2)"
    exit 0
    ;;
esac

key=$(recipe_key)
image=$cache/image-$key
if [ ! -f "$image/key" ]; then
    mkdir -p "$cache"
    exec 9>"$cache/lock"
    # Another build of the same image on this machine: wait for it.
    if ! flock -n 9; then
        log "waiting for the image that is being built in $cache"
        flock 9
    fi
    if [ ! -f "$image/key" ]; then
        # debootstrap and the id mapping of the namespace need root.
        [ "$(id -u)" -eq 0 ] || { log "building the image needs root"; exit 1; }
        start=$(date +%s)
        log "building the image $key in $cache (once per machine)"
        build "$key" || { log "building the image failed; logs in $cache/build-$key"; exit 1; }
        # Images of older recipes are of no further use.
        for old in "$cache"/image-* "$cache"/build-*; do
            [ "$old" = "$image" ] || rm -rf "$old"
        done
        log "image ready in $(($(date +%s) - start)) s"
    fi
    exec 9>&-
fi
echo "$image"
