#!/bin/bash
# wine-run.sh BUILD_DIR PROGRAM ARGS... - runs one Windows test program under
# 64-bit Wine on the test run's virtual display and prefix (tools/testenv.sh).
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine.sh"
build=$(cd "$1" && pwd)
shift
export WINEPREFIX=$build/wineprefix
if [ -s "$build/testenv/display" ]; then
    export DISPLAY=:$(head -n1 "$build/testenv/display")
fi
# Wine's helper processes (services, the desktop) may be started by this
# program and inherit its output handles; a file instead of CTest's pipe keeps
# them from holding the test open after the program has ended.
output=$(mktemp)
"$WINE64" "$@" >"$output" 2>&1 </dev/null
status=$?
cat "$output"
rm -f "$output"
exit $status
