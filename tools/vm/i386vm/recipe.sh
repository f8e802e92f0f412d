# The i386 machine: a 32-bit x86 PC with Debian 12 i386 and 32-bit Wine, that
# is, 32-bit Windows as Wine shows it. The x86 pass runs the x86 build's tests
# in it. Sourced by the tools in tools/vm; part of the image's recipe.
pass_name="x86 pass"
machine_title="the i386 machine"

# The system: Debian's architecture and the packages debootstrap installs. Its
# second stage runs i386 programs, through qemu-i386-static.
arch=i386
packages=(linux-image-686 wine wine32 xvfb xauth procps kmod cmake)
# Installed with apt afterwards, with the i386 architecture added: none here.
multiarch_packages=()
image_size=4G

qemu=qemu-system-i386
default_cpu=max,-smap

# In the guest: the Wine server (started directly: Debian's wineserver wrapper
# adds -p0, so that a server it starts ends with the last program), the loader
# that makes the prefix, one loader per registry view (each writes the crash
# settings into its own view), and files that a finished prefix has.
guest_wineserver=/usr/lib/wine/wineserver32
guest_prefix_loader=wine
guest_view_loaders="wine"
guest_prefix_files="drive_c/windows/system32/kernel32.dll"
