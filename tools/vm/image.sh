#!/bin/bash
# image.sh MACHINE [--print-key | --background LOG] - makes sure this host has
# the image of the test machine MACHINE (i386vm, wow64vm; see its recipe.sh)
# and prints its folder: a Debian 12 system with Wine, Xvfb and CTest, its
# kernel and initrd, and a Wine prefix made at build time. With --background,
# a missing image starts building detached (output in LOG) and this returns at
# once; a later call waits for that build.
#
# The image is built once per host into the machine's cache folder outside the
# clone (FERROTUNE_<MACHINE>_CACHE, by default /var/cache/ferrotune-<machine>
# for root, else ~/.cache/ferrotune-<machine>) under a name made from a hash of
# this file, guest/ and the machine's recipe: it is rebuilt only when they
# change. Packages come from Debian's registry (FERROTUNE_<MACHINE>_MIRROR) and
# stay in the cache's debs/ for rebuilds.
#
# The build goes in steps, each logged in build-<key>/<step>.log: the first
# stage of debootstrap (downloads), its second stage, the i386 packages of a
# machine that has them, the disk, and the first boot that makes the Wine
# prefix. A step that finished is kept: when a build fails, the next call does
# the failed step again and what follows it, nothing before.
#
# Programs of the i386 architecture in the tree (debootstrap's second stage of
# the i386 machine, the i386 packages' scripts of the WoW64 machine) run
# through qemu-i386-static, registered with binfmt_misc inside a user, mount
# and pid namespace of our own: the host's binfmt_misc is never touched (a
# host-wide i386 entry would send every 32-bit half of 64-bit Wine through the
# emulator).
set -euo pipefail
machine=${1:-}
shift || true
. "$(cd "$(dirname "$0")" && pwd)/machine.sh"
here=$vm_dir

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
# The initramfs needs only what mounts the root disk; initramfs-tools'
# default (most modules) takes many minutes per initramfs under qemu-user.
initrd_modules=(virtio_pci virtio_blk ext4 crc32c_generic)

recipe_key() {
    (cd "$here" && sha256sum image.sh guest/* "$machine"/*) | sha256sum | cut -c1-16
}

# in_namespace [--net] COMMAND...: runs COMMAND as root of a new user, mount
# and pid namespace (with --net, a network namespace of its own too: no
# network) in which the host's ids 0-65535 keep their numbers, so the tree's
# files get the owners that the packages give them.
in_namespace() {
    local net=
    [ "$1" = --net ] && { net=--net; shift; }
    unshare --user --mount --pid $net --fork -- \
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

# Inside in_namespace: this namespace's own /proc and binfmt_misc, with i386
# programs sent to qemu-i386-static.
namespace_setup() {
    mount -t proc proc /proc
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    # The usual i386 ELF entry; F opens the interpreter now, so it need not be
    # inside the tree.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$(command -v qemu-i386-static)"':F' \
        >/proc/sys/fs/binfmt_misc/register
}

# Inside in_namespace: debootstrap's second stage in TREE.
second_stage() {
    local tree=$1
    namespace_setup
    # container=lxc skips the device-node self-test, which a user namespace fails.
    container=lxc chroot "$tree" /debootstrap/debootstrap --second-stage
}

# Inside in_namespace (with the host's network): the i386 architecture and
# PACKAGES installed with apt in TREE, the downloads kept in DEBS. apt carries
# on where an earlier try stopped.
multiarch() {
    local tree=$1 debs=$2
    shift 2
    namespace_setup
    mount -t proc proc "$tree/proc"
    mkdir -p "$tree/var/cache/apt/archives"
    mount --bind "$debs" "$tree/var/cache/apt/archives"
    cp -L /etc/resolv.conf "$tree/etc/resolv.conf"
    export DEBIAN_FRONTEND=noninteractive
    local status=0
    chroot "$tree" dpkg --add-architecture i386 &&
        chroot "$tree" dpkg --configure -a &&
        chroot "$tree" apt-get update -q &&
        chroot "$tree" apt-get install -y -q --no-install-recommends "$@" || status=$?
    rm -f "$tree/etc/resolv.conf"
    rm -rf "$tree"/var/lib/apt/lists/*
    return $status
}

# step NAME TEXT COMMAND...: runs COMMAND with its output in NAME.log, unless
# an earlier build of this recipe finished the step. On failure, shows the
# end of the log.
step() {
    local name=$1 text=$2
    shift 2
    if [ -f "$work/done.$name" ]; then
        log "$text: done by an earlier build"
        return 0
    fi
    log "$text"
    if ! "$@" >"$work/$name.log" 2>&1; then
        log "---- the end of $work/$name.log:"
        tail -n 40 "$work/$name.log" >&2
        log "----"
        return 1
    fi
    touch "$work/done.$name"
}

first_stage() {
    # debootstrap starts from an empty folder; what it downloads stays in debs/.
    rm -rf "$tree"
    debootstrap --foreign --arch="$arch" --variant=minbase --cache-dir="$cache/debs" \
        --include="$(IFS=,; echo "${packages[*]}")" "$suite" "$tree" "$mirror" || return 1
    mkdir -p "$tree/etc/initramfs-tools/conf.d" "$tree/usr/share/initramfs-tools/modules.d"
    echo MODULES=list >"$tree/etc/initramfs-tools/conf.d/ferrotune"
    printf '%s\n' "${initrd_modules[@]}" >"$tree/usr/share/initramfs-tools/modules.d/ferrotune"
    printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
    chmod 755 "$tree/usr/sbin/policy-rc.d"
}

system() {
    # The second stage cannot resume a half-installed tree: unpack the first
    # stage again (from the package cache, nothing is downloaded) and start over.
    if [ -e "$work/tried.system" ]; then
        echo "an earlier second stage did not finish: the first stage again, from the package cache"
        first_stage || return 1
    fi
    touch "$work/tried.system"
    in_namespace --net "$here/image.sh" "$machine" --second-stage "$tree"
}

disk() {
    install -m 755 "$here/guest/init" "$tree/sbin/ferrotune-init" || return 1
    # What the guest's scripts read about this machine.
    {
        printf 'MACHINE=%q\n' "$machine"
        printf 'WINESERVER=%q\n' "$guest_wineserver"
        printf 'PREFIX_LOADER=%q\n' "$guest_prefix_loader"
        printf 'VIEW_LOADERS=%q\n' "$guest_view_loaders"
        printf 'PREFIX_FILES=%q\n' "$guest_prefix_files"
    } >"$tree/etc/ferrotune-vm" || return 1
    echo "$machine" >"$tree/etc/hostname"
    rm -f "$tree"/var/cache/apt/archives/*.deb
    cp "$(ls "$tree"/boot/vmlinuz-* | tail -n1)" "$work/vmlinuz" || return 1
    cp "$(ls "$tree"/boot/initrd.img-* | tail -n1)" "$work/initrd.img" || return 1
    rm -f "$work/root.img"
    truncate -s "$image_size" "$work/root.img" || return 1
    mke2fs -q -t ext4 -L "$machine" -d "$tree" "$work/root.img" || return 1
    rm -rf "$tree"
}

build() {
    local key=$1
    work=$cache/build-$key
    tree=$work/tree
    mkdir -p "$work" "$cache/debs" || return 1
    mirror=$(setting MIRROR "$(host_mirror)")
    [ -n "$mirror" ] || { log "no Debian mirror in apt's sources; set FERROTUNE_${machine^^}_MIRROR"; return 1; }

    step stage1 "first stage: downloading ${#packages[@]} packages and their dependencies for $arch" first_stage &&
        step stage2 "second stage: installing them (several minutes)" system || return 1
    if [ ${#multiarch_packages[@]} -gt 0 ]; then
        step multiarch "adding the i386 architecture and installing ${multiarch_packages[*]}" \
            in_namespace "$here/image.sh" "$machine" --multiarch "$tree" "$cache/debs" "${multiarch_packages[@]}" ||
            return 1
    fi
    step disk "making the disk image" disk || return 1
    log "first boot: making the Wine prefix"
    if ! "$here/run.sh" --machine "$machine" --setup-image "$work" >"$work/setup.log" 2>&1; then
        log "---- the first boot's output (the guest's own, then the end of its console; all in $work/setup.log):"
        tail -n 120 "$work/setup.log" >&2
        log "----"
        return 1
    fi
    echo "$key" >"$work/key" && mv "$work" "$cache/image-$key"
}

case ${1:-} in
--second-stage)
    second_stage "$2"
    exit
    ;;
--multiarch)
    shift
    multiarch "$@"
    exit
    ;;
--print-key)
    recipe_key
    exit
    ;;
--background)
    [ -f "$cache/image-$(recipe_key)/key" ] && exit 0
    mkdir -p "$(dirname "$2")"
    setsid "$0" "$machine" </dev/null >"$2" 2>&1 &
    log "building the machine's image in the background (log: $2)"
    exit 0
    ;;
esac

key=$(recipe_key)
image=$cache/image-$key
if [ ! -f "$image/key" ]; then
    mkdir -p "$cache"
    exec 9>"$cache/lock"
    # Another build of the same image on this host: wait for it.
    if ! flock -n 9; then
        log "waiting for the image that is being built in $cache"
        flock 9
    fi
    if [ ! -f "$image/key" ]; then
        # debootstrap and the id mapping of the namespace need root.
        [ "$(id -u)" -eq 0 ] || { log "building the image needs root"; exit 1; }
        start=$(date +%s)
        log "building the image $key in $cache (once per host)"
        if ! build "$key"; then
            log "building the image failed after $(($(date +%s) - start)) s; the logs of its steps are in $cache/build-$key"
            log "the steps that finished are kept there: the next build (make test again) does the failed step again and what follows"
            exit 1
        fi
        # Images of older recipes are of no further use.
        for old in "$cache"/image-* "$cache"/build-*; do
            [ "$old" = "$image" ] || rm -rf "$old"
        done
        log "image ready in $(($(date +%s) - start)) s"
    fi
    exec 9>&-
fi
echo "$image"
