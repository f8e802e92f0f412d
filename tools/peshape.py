#!/usr/bin/env python3
"""peshape.py ARCH PROGRAM - checks the shape of a built Ferrotune.exe.

Reads the PE file itself and fails (exit 1) when the machine type, subsystem,
hardening flags, section permissions, imports or resources are not what the
shipped program must have. Prints one line per check.
"""
import struct
import sys

MACHINES = {"x86": 0x014C, "x64": 0x8664}
SUBSYSTEM_GUI = 2
DYNAMIC_BASE, NX_COMPAT, HIGH_ENTROPY_VA = 0x0040, 0x0100, 0x0020
SCN_EXECUTE, SCN_WRITE = 0x20000000, 0x80000000
RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION = 3, 5, 6, 14, 16

# DLLs that every Windows installation has; nothing else may be imported.
WINDOWS_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll",
    "shell32.dll", "comctl32.dll", "ole32.dll", "ntdll.dll", "winmm.dll",
}


class PeFile:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, nsections, self.timestamp = struct.unpack_from("<HHI", data, pe + 4)
        optsize, self.characteristics = struct.unpack_from("<HH", data, pe + 20)
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        self.is64 = magic == 0x20B
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, opt + 68)
        dirs = opt + (112 if self.is64 else 96)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(16)]
        self.sections = []
        for i in range(nsections):
            off = opt + optsize + 40 * i
            name = data[off:off + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, off + 8)
            flags = struct.unpack_from("<I", data, off + 36)[0]
            self.sections.append((name, va, max(vsize, rawsize), rawptr, flags))

    def offset(self, rva):
        for _, va, size, rawptr, _ in self.sections:
            if va <= rva < va + size:
                return rawptr + rva - va
        raise ValueError("RVA %#x outside every section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def imports(self):
        rva, size = self.directories[1]
        names = []
        if not rva:
            return names
        off = self.offset(rva)
        while True:
            entry = struct.unpack_from("<IIIII", self.data, off)
            if not any(entry):
                return names
            names.append(self.cstring(entry[3]).lower())
            off += 20

    def resources(self):
        """{(type, id): [(language, data bytes)]} for every resource with numeric ids."""
        base_rva = self.directories[2][0]
        if not base_rva:
            return {}
        base = self.offset(base_rva)

        def entries(dir_off):
            named, numbered = struct.unpack_from("<HH", self.data, dir_off + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, dir_off + 16 + 8 * i)
                yield ident, target

        found = {}
        for rtype, t in entries(base):
            for rid, r in entries(base + (t & 0x7FFFFFFF)):
                for lang, leaf in entries(base + (r & 0x7FFFFFFF)):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    off = self.offset(data_rva)
                    found.setdefault((rtype, rid), []).append((lang, self.data[off:off + size]))
        return found


def string_resource(resources, ident):
    block = resources.get((RT_STRING, ident // 16 + 1))
    if not block:
        return None
    data = block[0][1]
    off = 0
    for index in range(16):
        length = struct.unpack_from("<H", data, off)[0]
        text = data[off + 2:off + 2 + 2 * length].decode("utf-16-le")
        if index == ident % 16:
            return text
        off += 2 + 2 * length
    return None


def version_numbers(data):
    signature = struct.pack("<I", 0xFEEF04BD)
    at = data.find(signature)
    if at < 0:
        return None
    fms, fls, pms, pls = struct.unpack_from("<IIII", data, at + 8)

    def text(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return text(fms, fls), text(pms, pls)


def icon_images(resources):
    group = resources.get((RT_GROUP_ICON, 128))
    if not group:
        return None
    data = group[0][1]
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        width, height, colours, _, _, bits, _, ident = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
        images.append((width or 256, height or 256, colours, bits, ident))
    return images


def check(arch, path):
    pe = PeFile(open(path, "rb").read())
    results = []

    def expect(name, ok, detail=""):
        results.append((name, bool(ok), detail))

    expect("machine", pe.machine == MACHINES[arch], "%#06x" % pe.machine)
    expect("GUI subsystem", pe.subsystem == SUBSYSTEM_GUI, str(pe.subsystem))
    wanted = DYNAMIC_BASE | NX_COMPAT | (HIGH_ENTROPY_VA if arch == "x64" else 0)
    expect("DYNAMIC_BASE, NX_COMPAT" + (", HIGH_ENTROPY_VA" if arch == "x64" else ""),
           pe.dll_characteristics & wanted == wanted, "%#06x" % pe.dll_characteristics)
    wx = [s[0] for s in pe.sections if s[4] & SCN_WRITE and s[4] & SCN_EXECUTE]
    expect("no writable executable section", not wx, ",".join(wx))
    imports = pe.imports()
    foreign = [name for name in imports if name not in WINDOWS_DLLS]
    expect("imports only Windows DLLs", imports and not foreign, ", ".join(foreign or imports))

    resources = pe.resources()
    dialogs = {rid for (rtype, rid) in resources if rtype == RT_DIALOG}
    expect("dialogs 100 and 102", {100, 102} <= dialogs, str(sorted(dialogs)))
    if 102 in dialogs and 100 in dialogs:
        main = resources[(RT_DIALOG, 102)][0][1]
        about = resources[(RT_DIALOG, 100)][0][1]
        expect("dialog 102 is an extended template", main[:4] == b"\x01\x00\xff\xff")
        expect("dialog 100 is a classic template", about[:4] != b"\x01\x00\xff\xff")
    images = icon_images(resources)
    sizes = sorted((w, h) for w, h, colours, bits, _ in images or [] if colours == 16 or bits == 4)
    expect("icon 128: 32x32 and 16x16, 16 colours", sizes == [(16, 16), (32, 32)] and len(images) == 2,
           str(images))
    text = string_resource(resources, 101)
    expect("string 101", text == "&About Ferrotune...", repr(text))
    versions = version_numbers(resources[(RT_VERSION, 1)][0][1]) if (RT_VERSION, 1) in resources else None
    expect("file and product version 1.1.0.2", versions == ("1.1.0.2", "1.1.0.2"), str(versions))

    failed = 0
    for name, ok, detail in results:
        print("%s %-44s %s" % ("ok  " if ok else "FAIL", name, detail))
        failed += not ok
    print("%s %s: %d checks, %d failed" % (arch, path, len(results), failed))
    return failed == 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in MACHINES:
        sys.exit("usage: peshape.py x86|x64 PROGRAM")
    sys.exit(0 if check(sys.argv[1], sys.argv[2]) else 1)
