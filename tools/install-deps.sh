#!/bin/bash
# install-deps.sh - installs the Debian packages the build and the tests need,
# only those missing; through sudo when not root. Nothing else is fetched.
set -eu
packages=(
    cmake ninja-build make
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    # the Windows-threads runtime that the shipped program links (cmake/programlink.cmake)
    g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32
    binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    googletest
    wine64 fonts-wine xvfb xauth x11-apps imagemagick
    zip python3 python3-pefile icoutils
    # the emulated machines that run the x86 build's tests (tools/vm)
    qemu-system-x86 qemu-user-static debootstrap e2fsprogs util-linux
)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
