#!/bin/bash
# run-demo.sh BUILD_DIR - starts Ferrotune in a private Wine prefix where the
# stand-in compressor is installed as QV4Z, so both of its buttons work.
#
# With a DISPLAY the dialog shows there and the script waits for the user to
# close it. Without one it runs on a virtual display of its own, saves
# screenshots of the dialog and of its About box, prints their paths, closes
# the dialog and exits 0.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine.sh"
if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
exe=$build/bin/Ferrotune.exe
standin=$build/tests/standin_qv4z.dll
democtl=$build/tools/democtl.exe
prefix=$build/demo-prefix
shots=$build/demo
dialog_caption="Codec Configuration"
about_caption="About Ferrotune"

fail() { echo "run-demo: $*" >&2; exit 1; }
for file in "$exe" "$standin" "$democtl"; do
    [ -f "$file" ] || fail "missing $file (build first: make build)"
done

headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    start_xvfb "$build/demo-env" 24 || fail "no virtual display"
    trap 'WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null; stop_xvfb "$build/demo-env"' EXIT
fi

echo "preparing the Wine prefix $prefix"
wine_prepare_prefix "$prefix" || fail "cannot make the Wine prefix"
# Wine's own Marlett font draws the caption buttons and menu marks.
wine_fonts=/usr/share/wine/fonts
if [ -f "$wine_fonts/marlett.ttf" ]; then
    cp -u "$wine_fonts/marlett.ttf" "$prefix/drive_c/windows/Fonts/"
fi
"$here/register-standin.sh" "$prefix" "$standin" || fail "cannot register the stand-in compressor"

x11_key='HKCU\Software\Wine\X11 Driver'
if [ $headless -eq 0 ]; then
    # The desktop's window manager draws the frames.
    "$WINE64" reg delete "$x11_key" /v Decorated /f >/dev/null 2>&1
    echo "starting Ferrotune.exe on $DISPLAY; close the dialog to end"
    "$WINE64" "$exe"
    exit $?
fi

# No window manager on the virtual display: Wine draws the frames itself, so
# the screenshots show the captions.
"$WINE64" reg add "$x11_key" /v Decorated /t REG_SZ /d N /f >/dev/null || fail "cannot set up Wine's frames"
mkdir -p "$shots"

# screenshot CAPTION FILE: the window with that caption, as it is on screen.
screenshot() {
    sleep 1
    xwd -silent -name "$1" -out "$2.xwd" && convert "$2.xwd" -strip -define png:exclude-chunks=date,time "$2" && rm -f "$2.xwd" || fail "no screenshot of \"$1\""
}

echo "starting Ferrotune.exe on the virtual display $DISPLAY"
"$WINE64" "$exe" &
program=$!
"$WINE64" "$democtl" wait "$dialog_caption" 60 || fail "the dialog did not appear"
screenshot "$dialog_caption" "$shots/ferrotune-dialog.png"

# The About box, through the system-menu entry's command.
"$WINE64" "$democtl" syscommand "$dialog_caption" 0x10 || fail "cannot open the About box"
"$WINE64" "$democtl" wait "$about_caption" 30 || fail "the About box did not appear"
screenshot "$about_caption" "$shots/ferrotune-about.png"
"$WINE64" "$democtl" close "$about_caption" && "$WINE64" "$democtl" gone "$about_caption" 30 ||
    fail "the About box did not close"

"$WINE64" "$democtl" close "$dialog_caption" || fail "cannot close the dialog"
wait $program
status=$?
[ $status -eq 0 ] || fail "Ferrotune.exe ended with $status"
echo "screenshot of the dialog: $shots/ferrotune-dialog.png"
echo "screenshot of the About box: $shots/ferrotune-about.png"
