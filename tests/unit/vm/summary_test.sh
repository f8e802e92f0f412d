#!/bin/bash
# summary_test.sh PASS WORK - a machine's pass (tools/vm/pass.sh) from test
# list to summary, with the machine replaced by a script that runs each boot's
# CTest list on this host. Checks the exit status and CTest-style closing line
# for passing and failing tests, a boot whose machine fails, skipped tests
# (with their reason, in the machine whose label says so) and an empty list.
set -u
pass=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

# The stand-in for run.sh: takes its options, then runs the boot's list (the
# last argument) here. FAKE_DEAD_CPU names a processor model whose machine
# fails before the command starts.
cat >"$work/fake-run.sh" <<'FAKE'
#!/bin/bash
cpu=default
results=
while [ $# -gt 0 ]; do
    case $1 in
    --results) results=$2; shift 2 ;;
    --cpu) cpu=$2; shift 2 ;;
    --*) shift 2 ;;
    *) break ;;
    esac
done
[ "$cpu" = "${FAKE_DEAD_CPU:-none}" ] && exit 125
mkdir -p "$results"
cd "${!#}" && ctest --output-junit "$results/junit.xml" >/dev/null 2>&1
FAKE
chmod +x "$work/fake-run.sh"

# build NAME TEST...: a build folder whose test list holds each TEST, given as
# "name command [label]", registered disabled as the x86 build does.
build() {
    local dir=$work/$1 entry name command label
    shift
    mkdir -p "$dir"
    : >"$dir/CTestTestfile.cmake"
    for entry in "$@"; do
        read -r name command label <<<"$entry"
        echo "add_test($name \"$command\")" >>"$dir/CTestTestfile.cmake"
        echo "set_tests_properties($name PROPERTIES DISABLED ON LABELS \"${label:-unit}\")" >>"$dir/CTestTestfile.cmake"
    done
}

build passing "good1 /bin/true" "good2 /bin/true" "p3 /bin/true i386vm:cpu=pentium3"
build failing "good1 /bin/true" "bad /bin/false" "p3 /bin/true i386vm:cpu=pentium3"
build skipping "good1 /bin/true" "skipme /bin/false i386vm:skip"
build only32 "good1 /bin/true" "only32 /bin/false wow64vm:skip=needs 32-bit Windows"
build empty

failures=0
# check [--machine M] CASE BUILD JOBS DEAD_CPU STATUS LAST_LINE [TEXT]: runs
# the pass of machine M (default i386vm) and compares its exit status, its last
# line, and that TEXT appears in its output.
check() {
    local machine=i386vm
    [ "$1" = --machine ] && { machine=$2; shift 2; }
    local case=$1 dir=$work/$2 jobs=$3 dead=$4 status=$5 last=$6 text=${7:-} out got prefix=FERROTUNE_${machine^^}
    out=$(env "${prefix}_RUN=$work/fake-run.sh" "${prefix}_IMAGE=true" "${prefix}_JOBS=$jobs" \
        FAKE_DEAD_CPU="$dead" "$pass" "$machine" "$dir" 2>&1)
    got=$?
    if [ "$got" != "$status" ]; then
        echo "$case: exit status $got, expected $status"
        failures=$((failures + 1))
    fi
    if [ "$(tail -n1 <<<"$out")" != "$last" ]; then
        echo "$case: last line [$(tail -n1 <<<"$out")], expected [$last]"
        failures=$((failures + 1))
    fi
    if [ -n "$text" ] && ! grep -qF -- "$text" <<<"$out"; then
        echo "$case: no [$text] in the output"
        failures=$((failures + 1))
    fi
    [ "$got" = "$status" ] || echo "$out" | tail -n 30
}

check "all pass, two boots at once" passing 2 none 0 "100% tests passed, 0 tests failed out of 3" \
    "boot 2 of 2: processor pentium3"
check "all pass, one boot at a time" passing 1 none 0 "100% tests passed, 0 tests failed out of 3"
check "a failing test" failing 2 none 1 "66% tests passed, 1 tests failed out of 3" "bad: failed in boot 1"
check "a boot whose machine fails" passing 2 pentium3 1 "66% tests passed, 1 tests failed out of 3" \
    "p3: failed in boot 2 (no result)"
check "a skipped test is not run" skipping 1 none 0 "100% tests passed, 0 tests failed out of 1" "    skipme"
check --machine wow64vm "a test left out of one machine, with the reason" only32 1 none 0 \
    "100% tests passed, 0 tests failed out of 1" "    only32: needs 32-bit Windows"
check --machine i386vm "the same test in the other machine" only32 1 none 1 \
    "50% tests passed, 1 tests failed out of 2" "only32: failed in boot 1"
check "no tests" empty 1 none 1 "x86 pass: no tests were found in $work/empty"

[ "$failures" -eq 0 ] && echo "all cases passed"
[ "$failures" -eq 0 ]
