#!/bin/bash
# wine-depth.sh BUILD_DIR DEPTH PROGRAM ARGS... - runs one Windows program
# under 64-bit Wine on a virtual display of its own with the given colour
# depth, and ends that display afterwards.
#
# The run gets a Wine prefix of its own (BUILD_DIR/wineprefix-depth, made once)
# and its own wineserver, ended before the display goes: Wine's desktop process
# lives on the display of the program that first needed it, so sharing the
# test run's prefix would let this short-lived display take the desktop of
# other programs down with it. Runs of this script must not overlap (CTest:
# one RESOURCE_LOCK). The program sees the depth in FERROTUNE_XDEPTH.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine.sh"
build=$(cd "$1" && pwd)
depth=$2
shift 2

envdir=$(mktemp -d)
export WINEPREFIX=$build/wineprefix-depth
finish() {
    "$WINESERVER" -k 2>/dev/null
    "$WINESERVER" -w 2>/dev/null
    stop_xvfb "$envdir"
    rm -rf "$envdir"
}
trap finish EXIT

start_xvfb "$envdir" "$depth" || exit 1
wine_prepare_prefix "$WINEPREFIX" || { echo "wineboot failed" >&2; exit 1; }

export FERROTUNE_XDEPTH=$depth
# A file instead of the caller's pipe: Wine's helper processes inherit the
# program's output handles and would hold the pipe open.
output=$envdir/output
"$WINE64" "$@" >"$output" 2>&1 </dev/null
status=$?
cat "$output"
exit $status
