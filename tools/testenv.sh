#!/bin/bash
# testenv.sh start|stop BUILD_DIR - the test run's virtual display, Wine
# prefix (made once per build folder) and one wineserver kept alive.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine.sh"
action=$1
build=$(cd "$2" && pwd)
envdir=$build/testenv
export WINEPREFIX=$build/wineprefix

case $action in
start)
    stop_xvfb "$envdir"
    start_xvfb "$envdir" 24 || exit 1
    wine_prepare_prefix "$WINEPREFIX" || { echo "wineboot failed" >&2; exit 1; }
    setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1
    # Start Wine's services now, detached from any test's output.
    setsid "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
    echo "display $DISPLAY, prefix $WINEPREFIX"
    ;;
stop)
    "$WINESERVER" -k 2>/dev/null
    stop_xvfb "$envdir"
    ;;
*)
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
