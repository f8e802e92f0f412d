#!/bin/bash
# bench.sh BUILD_X64 BUILD_X86 - prints figures; passes or fails nothing.
# Start-up of Ferrotune.exe against a bare dialog program (same compiler and
# flags, same Wine prefix, stand-in compressor registered), the cost of the
# library's trace call and first-time initialisation, and program sizes.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine.sh"
x64=$(cd "$1" && pwd)
x86=$(cd "$2" && pwd)
runs=${BENCH_RUNS:-15}

winpath() { echo "Z:$1" | tr / '\\'; }

"$here/testenv.sh" start "$x64" >/dev/null
trap '"$here/testenv.sh" stop "$x64"' EXIT
"$here/register-standin.sh" "$x64/wineprefix" "$x64/tests/standin_qv4z.dll" >/dev/null

echo "== start-up (x64 build under 64-bit Wine, Xvfb)"
"$here/wine-run.sh" "$x64" "$x64/bench/startbench.exe" \
    "$(winpath "$x64/bin/Ferrotune.exe")" "Codec Configuration" \
    "$(winpath "$x64/bench/baredialog.exe")" "Bare Dialog" "$runs"
echo "== core library (x64 build)"
"$here/wine-run.sh" "$x64" "$x64/bench/corelibbench.exe"
echo "== sizes (bytes)"
for program in "$x86/bin/Ferrotune.exe" "$x64/bin/Ferrotune.exe" "$x86/bench/baredialog.exe" "$x64/bench/baredialog.exe"; do
    printf '  %-10s %8d  %s\n' "$(basename "$(dirname "$(dirname "$program")")")" "$(stat -c %s "$program")" \
        "${program#"$(dirname "$(dirname "$(dirname "$program")")")/"}"
done
