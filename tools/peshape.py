#!/usr/bin/python3
"""peshape.py ARCH PROGRAM - checks the shape of a built Ferrotune.exe.

Reads the PE file with pefile and fails (exit 1) when the machine type,
subsystem, the oldest Windows it states, hardening flags, section permissions,
what the crash guard relies on (x86: frame-based handlers allowed, no SafeSEH
table that would leave its handler out; x64: the bracket's unwind entry names
its handler), imports, resources or size are not what the shipped program
must have. Prints
one line per check. The functions it imports, through the import table or
delay-loaded, are listed per DLL in imports-ARCH.txt beside this script,
exactly: no more and no fewer. A function looked up by name at run time
(GetProcAddress) is no import and out of its sight; those are named beside the
look-up and in the README.

Run by the system interpreter, which Debian's python3-pefile installs for.
"""
import os
import re
import struct
import sys

import pefile

MACHINES = {"x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
            "x64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]}
# The most each release program may weigh. The ceilings are there to fail a
# large piece of runtime coming back (winpthreads is 30 KB, mingw-w64's own
# printf 27 KB), not to leave room for growth: each rose by what a measured
# change cost (docs/figures.md), rounded up to a KiB, the last time by 12 KiB
# (x86) and 11 KiB (x64) for the command line (/check, /configure, /about),
# so each has about 5.5 KB left under its ceiling. The program's own new code
# can reach one too, and raising it is then a reviewed change here.
CEILINGS = {"x86": 177 * 1024, "x64": 151 * 1024}
# The oldest Windows each program runs on (README), as the header's operating
# system and subsystem versions: Windows XP (5.1) and its 64-bit edition (5.2).
# Older systems then refuse to start the program instead of failing on an import.
OLDEST_WINDOWS = {"x86": (5, 1), "x64": (5, 2)}
RT_DIALOG, RT_STRING, RT_GROUP_ICON = (
    pefile.RESOURCE_TYPE[name] for name in ("RT_DIALOG", "RT_STRING", "RT_GROUP_ICON"))

# The x64 bracket around a call into the codec (compressor/Src/codecguard.cpp,
# written in assembly): sub rsp,40; mov [rsp+32],r8; mov rax,rcx; mov rcx,rdx;
# call rax; nop; add rsp,40; ret. Its unwind entry in .pdata must name an
# exception handler, or no crash of the codec reaches the program's report.
BRACKET_X64 = bytes.fromhex("4883ec28" "4c89442420" "4889c8" "4889d1" "ffd0" "90" "4883c428" "c3")
UNW_FLAG_EHANDLER = 0x1
IMAGE_DLLCHARACTERISTICS_NO_SEH = 0x0400

# DLLs that every Windows installation has; nothing else may be imported.
WINDOWS_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll",
    "shell32.dll", "comctl32.dll", "ole32.dll", "ntdll.dll", "winmm.dll",
}


def import_list(arch):
    """(path, {dll: {function}}) of the imports the program may have: sections
    "[dll]" of function names, one a line, "#" starting a comment."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "imports-%s.txt" % arch)
    allowed, dll = {}, None
    with open(path) as lines:
        for number, line in enumerate(lines, 1):
            line = line.split("#", 1)[0].strip()
            if line.startswith("[") and line.endswith("]"):
                dll = line[1:-1].lower()
                allowed.setdefault(dll, set())
            elif line and dll is None:
                raise ValueError("%s:%d: a function before the first [dll] section" % (path, number))
            elif line:
                allowed[dll].add(line)
    return path, allowed


# A delay-load descriptor: attributes (1: the fields that follow are RVAs), DLL
# name, module handle, address table, name table, and three more.
DELAY_DESCRIPTOR = struct.Struct("<8I")
EXPORTED_NAME = re.compile(r"[A-Za-z_?@$][A-Za-z0-9_?@$]*$")
DLL_NAME = re.compile(r"[A-Za-z0-9_.-]+\.dll$", re.IGNORECASE)


def name_table(pe, rva):
    """The functions ("#ordinal" for one imported by number) of the zero-ended
    name table at rva, or None where there is none."""
    size = 8 if pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS else 4
    functions = []
    try:
        while len(functions) < 10000:
            thunk = int.from_bytes(pe.get_data(rva, size), "little")
            if thunk == 0:
                return functions
            if thunk >> (8 * size - 1):
                functions.append("#%d" % (thunk & 0xFFFF))
            else:
                name = pe.get_string_at_rva(thunk + 2).decode("latin-1")
                if not EXPORTED_NAME.match(name):
                    return None
                functions.append(name)
            rva += size
    except pefile.PEFormatError:
        return None
    return None


def delay_load_tables(pe):
    """(dll, [function]) of each delay-load descriptor. They are looked for in
    the sections, not through the header's directory entry: GNU ld links
    dlltool's delay-load libraries (dlltool -y) but leaves that entry empty.
    A descriptor is a 32-byte record with attributes 1 that names a DLL and a
    name table of functions; where a linker fills the entry, it points at one."""
    tables = []
    for section in pe.sections:
        data = section.get_data()
        for offset in range(0, len(data) - DELAY_DESCRIPTOR.size + 1, 4):
            attributes, name, _, _, names, _, _, _ = DELAY_DESCRIPTOR.unpack_from(data, offset)
            if attributes != 1 or not name or not names:
                continue
            dll = pe.get_string_at_rva(name, 256).decode("latin-1")
            functions = name_table(pe, names) if DLL_NAME.match(dll) else None
            if functions:
                tables.append((dll.lower(), functions))
    return tables


def import_tables(pe):
    """(dll, [function or "#ordinal"], how) for each DLL of the import table,
    how "", and of the delay-load descriptors, how "(delay-loaded)"."""
    return ([(entry.dll.decode("latin-1").lower(),
              [function.name.decode("latin-1") if function.name else "#%d" % function.ordinal
               for function in entry.imports], "")
             for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])] +
            [(dll, functions, "(delay-loaded)") for dll, functions in delay_load_tables(pe)])


def unlisted_imports(tables, allowed):
    """"dll!function" (or "dll!#ordinal") of each import that the list lacks."""
    return ["%s!%s%s" % (dll, name, how) for dll, functions, how in tables for name in functions
            if name not in allowed.get(dll, ())]


def unimported_functions(tables, allowed):
    """"dll!function" of each listed function that no table imports."""
    imported = {(dll, name) for dll, functions, _ in tables for name in functions}
    return ["%s!%s" % (dll, name) for dll in sorted(allowed) for name in sorted(allowed[dll])
            if (dll, name) not in imported]


def resources(pe):
    """{(type, id): data bytes of the first language} for every resource with numeric ids."""
    found = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for rtype in directory.entries if directory else []:
        for rid in rtype.directory.entries:
            if rtype.id is None or rid.id is None or not rid.directory.entries:
                continue
            leaf = rid.directory.entries[0].data.struct
            found[(rtype.id, rid.id)] = pe.get_data(leaf.OffsetToData, leaf.Size)
    return found


def string_resource(found, ident):
    data = found.get((RT_STRING, ident // 16 + 1))
    if not data:
        return None
    off = 0
    for index in range(16):
        length = struct.unpack_from("<H", data, off)[0]
        if index == ident % 16:
            return data[off + 2:off + 2 + 2 * length].decode("utf-16-le")
        off += 2 + 2 * length
    return None


def icon_images(found):
    """(width, height, colours, bits per pixel) of each image of icon group 128."""
    data = found.get((RT_GROUP_ICON, 128))
    if not data:
        return None
    count = struct.unpack_from("<H", data, 4)[0]
    images = []
    for i in range(count):
        width, height, colours, _, _, bits = struct.unpack_from("<BBBBHH", data, 6 + 14 * i)
        images.append((width or 256, height or 256, colours, bits))
    return images


def versions(pe):
    info = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not info:
        return None

    def text(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    info = info[0]
    return text(info.FileVersionMS, info.FileVersionLS), text(info.ProductVersionMS, info.ProductVersionLS)


def safe_seh_table(pe):
    """(address, count) of the load configuration's SafeSEH handler table;
    (0, 0) when there is none. Windows calls no frame-based handler on x86
    that a table leaves out."""
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is None:
        return 0, 0
    return getattr(config.struct, "SEHandlerTable", 0), getattr(config.struct, "SEHandlerCount", 0)


def bracket_handler(pe):
    """What is wrong with the x64 bracket's unwind entry; "" when it names an
    exception handler (flag UNW_FLAG_EHANDLER and a handler in the image's code)."""
    text = next((s for s in pe.sections if s.IMAGE_SCN_MEM_EXECUTE), None)
    at = text.get_data().find(BRACKET_X64) if text else -1
    if at < 0:
        return "no bracket in the code"
    rva = text.VirtualAddress + at
    entry = next((e for e in getattr(pe, "DIRECTORY_ENTRY_EXCEPTION", []) if e.struct.BeginAddress == rva), None)
    if entry is None:
        return "no unwind entry at %#x" % rva
    unwind = entry.struct.UnwindData
    header = pe.get_data(unwind, 4)
    if not (header[0] >> 3) & UNW_FLAG_EHANDLER:
        return "no exception handler (unwind flags %#x)" % (header[0] >> 3)
    # The handler's address follows the unwind codes, whose count is rounded up to even.
    handler = struct.unpack("<I", pe.get_data(unwind + 4 + 2 * ((header[2] + 1) & ~1), 4))[0]
    if not any(s.IMAGE_SCN_MEM_EXECUTE and s.contains_rva(handler) for s in pe.sections):
        return "the handler %#x is not code" % handler
    return ""


def check(arch, data):
    """[(check, passed, detail)] for the program's bytes."""
    pe = pefile.PE(data=data)
    results = []

    def expect(name, ok, detail=""):
        results.append((name, bool(ok), detail))

    header = pe.OPTIONAL_HEADER
    ceiling = CEILINGS[arch]
    expect("size at most %d bytes" % ceiling, len(data) <= ceiling, "%d bytes" % len(data))
    expect("machine", pe.FILE_HEADER.Machine == MACHINES[arch], "%#06x" % pe.FILE_HEADER.Machine)
    expect("GUI subsystem", header.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"],
           str(header.Subsystem))
    oldest = "%d.%d" % OLDEST_WINDOWS[arch]
    for name, stated in (("OS", (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion)),
                         ("subsystem", (header.MajorSubsystemVersion, header.MinorSubsystemVersion))):
        expect("%s version %s" % (name, oldest), stated == OLDEST_WINDOWS[arch], "%d.%d" % stated)
    wanted = ["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "IMAGE_DLLCHARACTERISTICS_NX_COMPAT"]
    if arch == "x64":
        wanted.append("IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA")
    missing = [name for name in wanted if not getattr(header, name)]
    expect("DYNAMIC_BASE, NX_COMPAT" + (", HIGH_ENTROPY_VA" if arch == "x64" else ""), not missing,
           "%#06x %s" % (header.DllCharacteristics, " ".join(missing)))
    if arch == "x86":
        expect("not marked NO_SEH", not header.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH,
               "%#06x" % header.DllCharacteristics)
        table, count = safe_seh_table(pe)
        expect("no SafeSEH handler table", not table and not count, "table %#x, %d handlers" % (table, count))
    else:
        wrong = bracket_handler(pe)
        expect("codec bracket has an exception handler", not wrong, wrong)
    wx = [s.Name.rstrip(b"\0").decode("latin-1") for s in pe.sections
          if s.IMAGE_SCN_MEM_WRITE and s.IMAGE_SCN_MEM_EXECUTE]
    expect("no writable executable section", not wx, ",".join(wx))
    tables = import_tables(pe)
    foreign = [dll + how for dll, _, how in tables if dll not in WINDOWS_DLLS]
    expect("imports only Windows DLLs", tables and not foreign,
           ", ".join(foreign or [dll + how for dll, _, how in tables]))
    path, allowed = import_list(arch)
    unlisted = unlisted_imports(tables, allowed)
    expect("imports only functions in " + os.path.basename(path), not unlisted, " ".join(unlisted))
    unimported = unimported_functions(tables, allowed)
    expect("imports every function in " + os.path.basename(path), not unimported, " ".join(unimported))

    found = resources(pe)
    dialogs = {rid for (rtype, rid) in found if rtype == RT_DIALOG}
    expect("dialogs 100 and 102", {100, 102} <= dialogs, str(sorted(dialogs)))
    if {100, 102} <= dialogs:
        expect("dialog 102 is an extended template", found[(RT_DIALOG, 102)][:4] == b"\x01\x00\xff\xff")
        expect("dialog 100 is a classic template", found[(RT_DIALOG, 100)][:4] != b"\x01\x00\xff\xff")
    images = icon_images(found)
    sizes = sorted((w, h) for w, h, colours, bits in images or [] if colours == 16 or bits == 4)
    expect("icon 128: 32x32 and 16x16, 16 colours", sizes == [(16, 16), (32, 32)] and len(images) == 2,
           str(images))
    text = string_resource(found, 101)
    expect("string 101", text == "&About Ferrotune...", repr(text))
    version = versions(pe)
    expect("file and product version 1.1.0.2", version == ("1.1.0.2", "1.1.0.2"), str(version))
    return results


def main(arch, path):
    results = check(arch, open(path, "rb").read())
    failed = 0
    for name, ok, detail in results:
        print("%s %-44s %s" % ("ok  " if ok else "FAIL", name, detail))
        failed += not ok
    print("%s %s: %d checks, %d failed" % (arch, path, len(results), failed))
    return failed == 0


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in MACHINES:
        sys.exit("usage: peshape.py x86|x64 PROGRAM")
    sys.exit(0 if main(sys.argv[1], sys.argv[2]) else 1)
