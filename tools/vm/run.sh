#!/bin/bash
# run.sh --machine MACHINE [options] FOLDER COMMAND [ARG...] - runs COMMAND in
# the emulated machine MACHINE (i386vm, wow64vm) and exits with its exit
# status; its output (standard output and error together) appears here as it
# is written.
#
# The machine boots from its cached image (tools/vm/image.sh builds it the
# first time) with its disk opened as a snapshot, so a run changes nothing and
# runs can go side by side. FOLDER is copied to the guest's own disk, at
# GUEST_DIR, and COMMAND runs there under bash, with `wine` the Wine that runs
# 32-bit programs, DISPLAY a virtual display, a ready Wine prefix and one
# wineserver for the run.
#
# Options:
#   --cpu MODEL       QEMU processor model (default the recipe's, max,-smap:
#                     max alone enables SMAP, which QEMU 7.2 gets wrong and
#                     Wine processes die)
#   --smp N           number of processors (default 2)
#   --depth BITS      depth of the virtual display (default 24)
#   --at GUEST_DIR    where FOLDER goes in the guest (default /srv/run)
#   --timeout SECONDS for the command once started (default 3600)
#   --env NAME=VALUE  exported for the command (may repeat)
#   --results DIR     what the command leaves in $FERROTUNE_VM_RESULTS (a
#                     folder in the share) is copied to DIR afterwards
# The command also sees FERROTUNE_VM_MACHINE, FERROTUNE_VM_CPU and
# FERROTUNE_VM_DEPTH.
#
# A boot that fails before the command starts (nothing within
# FERROTUNE_<MACHINE>_BOOT_TIMEOUT seconds, 600) is retried once. Exit status
# 124: the command did not end in time; 125: the machine failed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)

machine=
cpu=
smp=2
depth=24
guest_dir=/srv/run
timeout=3600
envs=()
results=
mode=run
snapshot=on

usage() {
    sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case $1 in
    --machine) machine=$2; shift 2 ;;
    --cpu) cpu=$2; shift 2 ;;
    --depth) depth=$2; shift 2 ;;
    --smp) smp=$2; shift 2 ;;
    --at) guest_dir=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --env) envs+=("$2"); shift 2 ;;
    --results) results=$2; shift 2 ;;
    --setup-image)
        # Used by image.sh: the first boot, which keeps what it changes.
        mode=setup image=$2 snapshot=off
        shift 2
        break
        ;;
    -h|--help) usage ;;
    --) shift; break ;;
    -*) echo "run.sh: unknown option $1" >&2; usage ;;
    *) break ;;
    esac
done

. "$here/machine.sh"
cpu=${cpu:-$default_cpu}
boot_timeout=$(setting BOOT_TIMEOUT 600)
# Seconds the first boot gives each of its two tries to make the prefix.
setup_wait=$(setting SETUP_WAIT 1800)
[ $mode = setup ] && timeout=$((2 * setup_wait + 900))

if [ $mode = run ]; then
    [ $# -ge 2 ] || usage
    folder=$1
    shift
    [ -d "$folder" ] || { echo "run.sh: no folder $folder" >&2; exit 2; }
    image=$("$here/image.sh" "$machine") || exit 125
fi

job=$(mktemp -d "${TMPDIR:-/tmp}/$machine-job.XXXXXX")
qemu_pid=
cleanup() {
    [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null
    rm -rf "$job"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$job/in" "$job/out"
{
    printf 'DEPTH=%q\nGUEST_DIR=%q\nSETUP_WAIT=%q\n' "$depth" "$guest_dir" "$setup_wait"
    printf 'export FERROTUNE_VM_MACHINE=%q FERROTUNE_VM_CPU=%q FERROTUNE_VM_DEPTH=%q\n' "$machine" "$cpu" "$depth"
    echo 'export FERROTUNE_VM_RESULTS=/job/out/results'
    for assignment in "${envs[@]}"; do
        printf 'export %q=%q\n' "${assignment%%=*}" "${assignment#*=}"
    done
} >"$job/job.env"
if [ $mode = run ]; then
    cp "$here/guest-run.sh" "$job/boot"
    cp -a "$folder/." "$job/in/"
    printf '%q ' exec "$@" >"$job/command"
    echo >>"$job/command"
else
    cp "$here/guest/setup" "$job/boot"
fi

# print_new FILE: writes what FILE gained since the last call.
printed=0
print_new() {
    local size
    size=$(stat -c %s "$1" 2>/dev/null) || return 0
    if [ "$size" -gt "$printed" ]; then
        tail -c +$((printed + 1)) "$1" | head -c $((size - printed))
        printed=$size
    fi
}

# boot ATTEMPT: one boot; sets outcome to done, timeout or failed.
boot() {
    local console=$job/console-$1.log start started_at=
    rm -rf "$job/out" && mkdir "$job/out"
    printed=0
    "$qemu" -accel tcg,thread=multi -cpu "$cpu" -smp "$smp" -m 2048 \
        -nodefaults -display none -no-reboot \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "console=ttyS0 root=/dev/vda rootfstype=ext4 rw init=/sbin/ferrotune-init quiet loglevel=3 panic=1 mitigations=off" \
        -drive "file=$image/root.img,if=virtio,format=raw,snapshot=$snapshot" \
        -virtfs "local,path=$job,mount_tag=job,security_model=none,id=job" \
        -serial "file:$console" </dev/null >"$job/qemu-$1.log" 2>&1 &
    qemu_pid=$!
    start=$(date +%s)
    while kill -0 "$qemu_pid" 2>/dev/null; do
        sleep 1
        if [ -z "$started_at" ]; then
            [ -e "$job/out/started" ] && started_at=$(date +%s)
            if [ -z "$started_at" ] && [ $(($(date +%s) - start)) -ge "$boot_timeout" ]; then
                echo "$machine: the machine did not reach the command in $boot_timeout s" >>"$console"
                break
            fi
        else
            print_new "$job/out/output"
            if [ $(($(date +%s) - started_at)) -ge "$timeout" ]; then
                outcome=timeout
                kill "$qemu_pid" 2>/dev/null
                wait "$qemu_pid" 2>/dev/null
                qemu_pid=
                print_new "$job/out/output"
                return
            fi
        fi
    done
    kill "$qemu_pid" 2>/dev/null
    wait "$qemu_pid" 2>/dev/null
    qemu_pid=
    [ -e "$job/out/started" ] && print_new "$job/out/output"
    if [ -s "$job/out/status" ]; then
        outcome=done
    elif [ -e "$job/out/started" ]; then
        outcome=died
    else
        outcome=failed
    fi
}

# The machine's story when it fails: the end of its console and of QEMU's own output.
show_console() {
    echo "$machine: ---- end of the machine's console (boot $1) ----" >&2
    tail -n 40 "$job/console-$1.log" >&2
    [ -s "$job/out/failure" ] && echo "$machine: the guest said: $(cat "$job/out/failure")" >&2
    [ -s "$job/qemu-$1.log" ] && tail -n 10 "$job/qemu-$1.log" >&2
    echo "$machine: ----" >&2
}

# keep_results: copies what the command left for the host.
keep_results() {
    [ -n "$results" ] && [ -d "$job/out/results" ] || return 0
    mkdir -p "$results" && cp -a "$job/out/results/." "$results/"
}

for attempt in 1 2; do
    boot $attempt
    case $outcome in
    done)
        keep_results
        status=$(cat "$job/out/status")
        # The first boot's script has said what it found; the console tells the rest.
        [ $mode = setup ] && [ "$status" != 0 ] && show_console $attempt
        exit "$status"
        ;;
    timeout)
        keep_results
        [ $mode = setup ] && show_console $attempt
        echo "$machine: the command did not end in $timeout s; the machine was stopped" >&2
        exit 124
        ;;
    died)
        keep_results
        show_console $attempt
        echo "$machine: the machine stopped before the command ended" >&2
        exit 125
        ;;
    failed)
        show_console $attempt
        [ $attempt = 1 ] && echo "$machine: the machine failed before the command started; booting it again" >&2
        ;;
    esac
done
echo "$machine: the machine failed twice before the command started" >&2
exit 125
