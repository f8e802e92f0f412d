#!/bin/bash
# pass.sh MACHINE BUILD_DIR - runs the tests of an x86 build folder in the
# emulated machine MACHINE and prints one summary for them, in CTest's words:
# i386vm is the x86 pass (32-bit Windows), wow64vm the WoW64 pass (64-bit
# Windows). Exit status 0 only when every test ran and passed.
#
# The tests are those that CTest lists for BUILD_DIR (registered disabled, as
# this host cannot run them). guest-tests.cmake sorts them into boots, one per
# processor model and display depth that their labels for this machine ask
# for; each boot runs CTest in the machine over its list. The machine gets a
# copy of the source tree and of the build folder's programs at the same paths
# as here, so the tests' command lines work there unchanged.
#
# Boots run side by side, as many as the host has processors: the biggest
# boot is split into that many, balanced by the seconds each test took last
# time (kept in BUILD_DIR/<machine>-costs.txt).
#
# FERROTUNE_<MACHINE>_JOBS           boots at once (default: the host's processors)
# FERROTUNE_<MACHINE>_TIMEOUT_SCALE  multiplies each test's timeout (default 4)
# FERROTUNE_<MACHINE>_RUN_TIMEOUT    seconds for one boot's whole run (default 2400)
# FERROTUNE_<MACHINE>_RUN, FERROTUNE_<MACHINE>_IMAGE
#                                    stand-ins for run.sh and image.sh (tests of
#                                    this script run without the machine)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 2 ] && [ -d "$2" ] || { echo "usage: $0 MACHINE BUILD_DIR" >&2; exit 2; }
machine=$1
. "$here/machine.sh"
run=$(setting RUN "$here/run.sh")
image=$(setting IMAGE "$here/image.sh")
src=$(cd "$here/../.." && pwd)
build=$(cd "$2" && pwd)
work=$build/$machine
stage=$work/stage
costs=$build/$machine-costs.txt
jobs=$(setting JOBS "$(nproc)")

say() { echo "$pass_name: $*"; }

rm -rf "$work"
mkdir -p "$work/results" "$stage"
(cd "$build" && ctest --show-only=json-v1) >"$work/tests.json" || { say "cannot read the test list of $build"; exit 1; }
cmake -DJSON="$work/tests.json" -DOUT="$work/boots" -DMACHINE="$machine" -DSCALE="$(setting TIMEOUT_SCALE 4)" \
    -DSHARDS="$jobs" -DCOSTS="$costs" -P "$here/guest-tests.cmake" || { say "cannot sort the tests into boots"; exit 1; }

# What the machine gets: the source tree without build folders and history,
# the build folder without what only the compiler needs, and the boots' lists.
mkdir -p "$stage$src" "$stage$build" "$stage$work"
tar -C "$src" --exclude=./.git --exclude=./build --exclude="./${build#"$src"/}" -cf - . | tar -C "$stage$src" -xf -
tar -C "$build" --exclude=./CMakeFiles --exclude=./googletest --exclude=./Testing \
    --exclude=./wineprefix --exclude=./testenv --exclude=./i386vm --exclude=./wow64vm \
    --exclude='*.obj' --exclude='*.o' --exclude='*.a' --exclude='*.ninja' --exclude='.ninja_*' \
    --exclude=CMakeCache.txt --exclude=cmake_install.cmake --exclude=CTestTestfile.cmake \
    -cf - . | tar -C "$stage$build" -xf -
cp -a "$work/boots" "$stage$work/"

# Building the image (once per host) says what it does, and where its logs are.
waited=$SECONDS
if ! "$image" "$machine" >/dev/null; then
    say "the machine's image could not be built (see above); the log of each of its steps is in $cache/build-$("$here/image.sh" "$machine" --print-key)/"
    say "run \`make test\` again to retry: the build does the failed step again, not the ones that finished"
    exit 1
fi
[ $((SECONDS - waited)) -lt 2 ] || say "the machine's image was ready after $((SECONDS - waited)) s"

mapfile -t boots <"$work/boots/boots.txt"
count=${#boots[@]}
parallel=$((jobs < count ? jobs : count))
[ "$parallel" -ge 1 ] || parallel=1
smp=$(($(nproc) / parallel))
[ "$smp" -ge 1 ] || smp=1

declare -A running started
active=0
# start_boot LINE: starts one boot in the background; its output goes to a log
# that is shown when it ends, or straight here when it runs alone.
start_boot() {
    local n cpu depth size options
    read -r n cpu depth size <<<"$1"
    options=(--machine "$machine" --smp "$smp" --depth "$depth" --at / --results "$work/results/$n"
        --timeout "$(setting RUN_TIMEOUT 2400)")
    [ "$cpu" = default ] || options+=(--cpu "$cpu")
    say "boot $n of $count: processor ${cpu/default/$default_cpu}, display depth $depth, $size tests"
    if [ "$parallel" -eq 1 ]; then
        "$run" "${options[@]}" "$stage" bash "$here/guest-ctest.sh" "$build" "$work/boots/$n" </dev/null
        echo "$?" >"$work/results/$n.status"
        return
    fi
    "$run" "${options[@]}" "$stage" bash "$here/guest-ctest.sh" "$build" "$work/boots/$n" \
        </dev/null >"$work/results/$n.log" 2>&1 &
    running[$!]=$n
    started[$n]=$(date +%s)
    active=$((active + 1))
}

# finish_boot: waits for one background boot to end and shows its output.
finish_boot() {
    local pid status n
    wait -n -p pid
    status=$?
    n=${running[$pid]}
    unset "running[$pid]"
    active=$((active - 1))
    echo "$status" >"$work/results/$n.status"
    say "---- boot $n ended after $(($(date +%s) - started[$n])) s; its output:"
    cat "$work/results/$n.log"
    say "---- end of boot $n"
}

begin=$(date +%s)
for line in "${boots[@]}"; do
    while [ "$active" -ge "$parallel" ]; do finish_boot; done
    start_boot "$line"
done
while [ "$active" -gt 0 ]; do finish_boot; done
say "$count boots, $parallel at a time, took $(($(date +%s) - begin)) s"

# junit_status FILE NAME: the status CTest's JUnit report gives the test NAME.
junit_status() {
    local name=$1
    name=${name//&/&amp;}
    name=${name//</&lt;}
    name=${name//>/&gt;}
    name=${name//\"/&quot;}
    grep -F "<testcase name=\"$name\" " "$2" 2>/dev/null | sed -n 's/.* status="\([a-z]*\)".*/\1/p' | head -n1
}

# A test passes when it passed in every boot it was in; a test of a boot that
# left no report has not passed.
declare -A verdict
names=()
while read -r n _; do
    report=$work/results/$n/junit.xml
    while IFS= read -r name; do
        [ -n "$name" ] || continue
        [ -n "${verdict[$name]+set}" ] || { names+=("$name"); verdict[$name]=passed; }
        status=$(junit_status "$name" "$report")
        case $status in
        run) ;;
        skipped) [ "${verdict[$name]}" = passed ] && verdict[$name]="skipped in boot $n" ;;
        *) verdict[$name]="failed in boot $n (${status:-no result})" ;;
        esac
    done <"$work/boots/$n/tests.txt"
done <"$work/boots/boots.txt"

# What each test took this time, for balancing the next run's boots.
for report in "$work"/results/*/junit.xml; do
    [ -f "$report" ] || continue
    sed -n 's/.*<testcase name="\([^"]*\)" classname="[^"]*" time="\([0-9]*\)[^"]*".*/\2 \1/p' "$report" |
        sed 's/&lt;/</g; s/&gt;/>/g; s/&quot;/"/g; s/&amp;/\&/g' | awk '{ $1 = $1 + 1; print }'
done >"$work/costs.new"
if [ -s "$work/costs.new" ]; then
    { cat "$work/costs.new"; [ -f "$costs" ] && cat "$costs"; } | awk '!seen[substr($0, index($0, " ") + 1)]++' >"$work/costs.all"
    mv "$work/costs.all" "$costs"
fi

echo
if [ -s "$work/boots/skipped.txt" ]; then
    say "not run in the machine (labelled $machine:skip):"
    sed 's/^/    /' "$work/boots/skipped.txt"
fi
total=${#names[@]}
failed=()
skipped=()
for name in "${names[@]}"; do
    case ${verdict[$name]} in
    passed) ;;
    skipped*) skipped+=("$name: ${verdict[$name]}") ;;
    *) failed+=("$name: ${verdict[$name]}") ;;
    esac
done
if [ "$total" -eq 0 ]; then
    say "no tests were found in $build"
    exit 1
fi
if [ ${#skipped[@]} -gt 0 ]; then
    say "the following tests did not run (they skipped themselves):"
    printf '    %s\n' "${skipped[@]}"
fi
if [ ${#failed[@]} -gt 0 ]; then
    say "the following tests FAILED:"
    printf '    %s\n' "${failed[@]}"
fi
passed=$((total - ${#failed[@]}))
say "tests of the x86 build in $machine_title"
echo "$((passed * 100 / total))% tests passed, ${#failed[@]} tests failed out of $total"
[ ${#failed[@]} -eq 0 ]
