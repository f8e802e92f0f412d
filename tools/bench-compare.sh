#!/bin/bash
# bench-compare.sh BUILD_X64 OTHER_CORELIBBENCH [ROUNDS] - prints figures;
# passes or fails nothing. Runs another build's core library benchmark
# (its bench/corelibbench.exe) and this build's, alternately, ROUNDS times each
# (default 15) on this build's Wine prefix and display, so that both see the
# same machine; then the median, over the runs, of each program's medians of
# one trace call and of first-time initialisation.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
x64=$(cd "$1" && pwd)
other=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
rounds=${3:-15}

"$here/testenv.sh" start "$x64" >/dev/null
trap '"$here/testenv.sh" stop "$x64"' EXIT
results=$(mktemp)
for _ in $(seq "$rounds"); do
    "$here/wine-run.sh" "$x64" "$other" | sed 's/^/other /' >>"$results"
    "$here/wine-run.sh" "$x64" "$x64/bench/corelibbench.exe" | sed 's/^/this /' >>"$results"
done

# median WHICH PATTERN: the median of the figures that WHICH's lines matching PATTERN end with.
median() {
    grep "^$1 .*$2" "$results" | awk '{print $(NF-1)}' | sort -n |
        awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
echo "other: $other"
echo "this:  $x64/bench/corelibbench.exe"
echo "$rounds alternating runs each; median of the runs' medians, ns:"
printf '  %-34s %10s %10s\n' "" other this
for figure in "one trace call" "LumaretInitialize first-time work"; do
    printf '  %-34s %10s %10s\n' "$figure" "$(median other "$figure")" "$(median this "$figure")"
done
rm -f "$results"
