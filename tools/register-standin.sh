#!/bin/bash
# register-standin.sh PREFIX DLL - installs the stand-in QV4Z compressor into
# a Wine prefix: copies DLL into the prefix's system folder and registers it as
# vidc.QV4Z in the installable-driver list, where the compressor manager looks.
# A 32-bit DLL in a 64-bit prefix goes to syswow64 and the 32-bit registry
# view; every other pair goes to system32.
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 PREFIX DLL" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine.sh"
prefix=$(cd "$1" && pwd)
dll=$2
[ -f "$dll" ] || { echo "$0: no such DLL: $dll" >&2; exit 1; }
[ -d "$prefix/drive_c/windows/system32" ] || { echo "$0: not a Wine prefix: $prefix" >&2; exit 1; }
export WINEPREFIX=$prefix

# The PE header's machine field: 0x014c is x86, 0x8664 is x64.
pe_offset=$(od -An -tu4 -j60 -N4 "$dll" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe_offset + 4)) -N2 "$dll" | tr -d ' ')

folder=system32
view=()
if [ "$machine" = "014c" ] && [ -d "$prefix/drive_c/windows/syswow64" ]; then
    folder=syswow64
    view=(/reg:32)
fi

name=$(basename "$dll")
cp "$dll" "$prefix/drive_c/windows/$folder/$name"
"$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32' \
    /v vidc.QV4Z /t REG_SZ /d "$name" /f "${view[@]}" >/dev/null
echo "registered $name as vidc.QV4Z in $prefix ($folder)"
