# The WoW64 machine: an x86_64 PC with Debian 12 amd64 and Debian's 64-bit
# Wine with its 32-bit half (wine32 of the i386 architecture), that is, 64-bit
# Windows as Wine shows it, where a 32-bit program runs as a WoW64 process. The
# WoW64 pass runs the x86 build's tests in it. Sourced by the tools in
# tools/vm; part of the image's recipe.
pass_name="WoW64 pass"
machine_title="the WoW64 machine"

# The system: debootstrap's second stage runs natively (amd64); the i386
# packages' maintainer scripts and triggers run through qemu-i386-static.
arch=amd64
packages=(linux-image-amd64 xvfb xauth procps kmod cmake)
multiarch_packages=(wine wine64 wine32:i386)
# The 64-bit prefix holds both architectures' DLLs (about 1.3 GB).
image_size=8G

qemu=qemu-system-x86_64
default_cpu=max,-smap

# In the guest (see tools/vm/i386vm/recipe.sh): the 64-bit loader makes a
# 64-bit prefix; "wine" starts the 32-bit loader, whose reg.exe writes the
# 32-bit registry view.
guest_wineserver=/usr/lib/wine/wineserver64
guest_prefix_loader=/usr/lib/wine/wine64
guest_view_loaders="/usr/lib/wine/wine64 wine"
guest_prefix_files="drive_c/windows/system32/kernel32.dll drive_c/windows/syswow64/kernel32.dll"
