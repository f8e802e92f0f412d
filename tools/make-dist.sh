#!/bin/bash
# make-dist.sh BUILD_X86 BUILD_X64 OUT_DIR - the release archive: both
# programs, the README and SHA256SUMS, byte-for-byte reproducible from a
# commit (fixed file times and order; the linker writes no time stamp).
set -eu
x86=$(cd "$1" && pwd)
x64=$(cd "$2" && pwd)
out=$(mkdir -p "$3" && cd "$3" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
version=1.1.0.2
name=Ferrotune-$version

# One fixed time for every entry: the commit's, or a constant outside git.
epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 946684800)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/x86" "$stage/$name/x64"
cp "$x86/bin/Ferrotune.exe" "$stage/$name/x86/"
cp "$x64/bin/Ferrotune.exe" "$stage/$name/x64/"
cp "$root/README.md" "$stage/$name/"
(cd "$stage/$name" && sha256sum README.md x64/Ferrotune.exe x86/Ferrotune.exe >SHA256SUMS)
find "$stage" -exec touch -h -d "@$epoch" {} +

rm -f "$out/$name.zip"
(cd "$stage" && find "$name" -print | LC_ALL=C sort | TZ=UTC zip -q -X -D -@ "$out/$name.zip")
(cd "$out" && sha256sum "$name.zip")
