# wine.sh - sourced by the tools: where 64-bit Wine is and how it is set up.
# The wine64 loader is used directly: the "wine" script tries the 32-bit
# loader first, which cannot run on these machines.
WINE64=${WINE64:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
WINESERVER=${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver)}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEDEBUG=${WINEDEBUG:--all}

# wine_prepare_prefix PREFIX: makes the prefix once (needs DISPLAY) and turns
# off the crash dialog and the crash debugger, so a crash ends a test at once.
wine_prepare_prefix() {
    local prefix=$1
    export WINEPREFIX=$prefix
    if [ ! -f "$prefix/.ferrotune-ready" ]; then
        rm -rf "$prefix"
        timeout 600 "$WINE64" wineboot --init >/dev/null 2>&1 || return 1
        "$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ /d 'no-crash-debugger.exe' /f >/dev/null 2>&1
        "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 1 /f >/dev/null 2>&1
        "$WINESERVER" -w
        touch "$prefix/.ferrotune-ready"
    fi
}

# start_xvfb DIR DEPTH: starts a virtual display in the background and writes
# its number to DIR/display and its process id to DIR/xvfb.pid.
start_xvfb() {
    local dir=$1 depth=${2:-24}
    mkdir -p "$dir"
    rm -f "$dir/display"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x"$depth" -nolisten tcp 3>"$dir/display" </dev/null >"$dir/xvfb.log" 2>&1 &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 1 100); do
        [ -s "$dir/display" ] && break
        sleep 0.1
    done
    [ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; cat "$dir/xvfb.log" >&2; return 1; }
    export DISPLAY=:$(head -n1 "$dir/display")
}

stop_xvfb() {
    local dir=$1
    [ -f "$dir/xvfb.pid" ] && kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
    rm -f "$dir/xvfb.pid" "$dir/display"
    return 0
}
