#!/usr/bin/python3
"""peshape_test.py PESHAPE ARCH PROGRAM TESTBUILD - the shape check passes the
built program and fails each copy of it that has one fault, on that fault's
checks alone (named by their starts); the test build of the program, linked as
the program is, passes the checks of how it is linked."""
import os
import struct
import sys

import pefile

sys.dont_write_bytecode = True  # nothing of the run lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(sys.argv[1])))
import peshape  # noqa: E402 (found through the path above)

arch, program, testbuild = sys.argv[2], open(sys.argv[3], "rb").read(), open(sys.argv[4], "rb").read()
# The checks of how a program is linked that the test build must pass too (the
# runtime shows in the imports, which the test build's own code extends).
LINKING = ("OS version", "subsystem version")


def without_nx(pe):
    pe.OPTIONAL_HEADER.DllCharacteristics &= ~0x0100


def importing_a_foreign_dll(pe):
    user32 = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"user32.dll")
    pe.set_bytes_at_rva(user32.struct.Name, b"userxx.dll")


def importing_get_tick_count_64(pe):
    """A function that Windows XP lacks, in place of one on the list."""
    kernel32 = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"kernel32.dll")
    function = next(i for i in kernel32.imports if i.name == b"RemoveVectoredExceptionHandler")
    pe.set_bytes_at_offset(function.name_offset, b"GetTickCount64\0")


def appended(pe, data):
    """The RVA of data, written where a data section's raw bytes run past its contents."""
    section = max((s for s in pe.sections if not s.IMAGE_SCN_MEM_EXECUTE),
                  key=lambda s: s.SizeOfRawData - s.Misc_VirtualSize)
    rva = (section.VirtualAddress + section.Misc_VirtualSize + 15) & ~15
    pe.set_bytes_at_rva(rva, data)
    section.Misc_VirtualSize = rva + len(data) - section.VirtualAddress
    assert section.Misc_VirtualSize <= section.SizeOfRawData, "no room for the data"
    return rva


def delay_loading_get_tick_count_64(pe):
    """A delay-load descriptor that imports from kernel32.dll a function that the
    list lacks, written where a data section's raw bytes run past its contents
    and, as GNU ld links one, outside the header's directory."""
    kernel32 = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"kernel32.dll")
    thunk = 8 if pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS else 4
    section = max((s for s in pe.sections if not s.IMAGE_SCN_MEM_EXECUTE),
                  key=lambda s: s.SizeOfRawData - s.Misc_VirtualSize)
    descriptor = (section.VirtualAddress + section.Misc_VirtualSize + 15) & ~15
    names = descriptor + 64  # the descriptor, then the zero one that ends the table
    hint_name = names + 2 * thunk
    # Attributes 1: the fields are RVAs. The address table is the name table.
    assert appended(pe, struct.pack("<8I", 1, kernel32.struct.Name, 0, names, names, 0, 0, 0) + bytes(32) +
                    hint_name.to_bytes(thunk, "little") + bytes(thunk) + b"\0\0GetTickCount64\0") == descriptor


def marked_no_seh(pe):
    pe.OPTIONAL_HEADER.DllCharacteristics |= 0x0400


def with_safe_seh_table(pe):
    """A load configuration whose SafeSEH table lists one handler (of a
    function that is none: the table's own address), as a linker with
    /SAFESEH writes it."""
    config = appended(pe, bytes(0x48))
    table = pe.OPTIONAL_HEADER.ImageBase + config
    pe.set_bytes_at_rva(config, struct.pack("<I", 0x48))
    pe.set_bytes_at_rva(config + 0x40, struct.pack("<II", table, 1))
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG"]]
    directory.VirtualAddress, directory.Size = config, 0x48


def bracket_without_handler(pe):
    """The x64 bracket's unwind information with no exception handler flag."""
    text = next(s for s in pe.sections if s.IMAGE_SCN_MEM_EXECUTE)
    rva = text.VirtualAddress + text.get_data().find(peshape.BRACKET_X64)
    entry = next(e for e in pe.DIRECTORY_ENTRY_EXCEPTION if e.struct.BeginAddress == rva)
    entry.unwindinfo.Flags = 0  # pefile writes its parsed unwind information back


def importing_add_vectored_exception_handler_twice(pe):
    """A listed function (RemoveVectoredExceptionHandler) no longer imported."""
    kernel32 = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"kernel32.dll")
    function = next(i for i in kernel32.imports if i.name == b"RemoveVectoredExceptionHandler")
    pe.set_bytes_at_offset(function.name_offset, b"AddVectoredExceptionHandler\0")


def stating_windows_vista(field):
    def fault(pe):
        setattr(pe.OPTIONAL_HEADER, "Major%sVersion" % field, 6)
        setattr(pe.OPTIONAL_HEADER, "Minor%sVersion" % field, 0)
    return fault


def without_string_101(pe):
    strings = next(e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == pefile.RESOURCE_TYPE["RT_STRING"])
    strings.directory.entries[0].struct.Name += 1  # block 7 (strings 96..111) becomes block 8


def faulty(fault):
    pe = pefile.PE(data=program)
    fault(pe)
    return pe.write()


cases = [
    ("the built program", program, []),
    ("no NX_COMPAT", faulty(without_nx), ["DYNAMIC_BASE, NX_COMPAT"]),
    ("an import of userxx.dll", faulty(importing_a_foreign_dll),
     ["imports only Windows DLLs", "imports only functions in", "imports every function in"]),
    ("an import of GetTickCount64", faulty(importing_get_tick_count_64),
     ["imports only functions in", "imports every function in"]),
    ("a delay-loaded GetTickCount64", faulty(delay_loading_get_tick_count_64), ["imports only functions in"]),
    ("RemoveVectoredExceptionHandler no longer imported", faulty(importing_add_vectored_exception_handler_twice),
     ["imports every function in"]),
    ("OS version 6.0", faulty(stating_windows_vista("OperatingSystem")), ["OS version"]),
    ("subsystem version 6.0", faulty(stating_windows_vista("Subsystem")), ["subsystem version"]),
    ("string 101 missing", faulty(without_string_101), ["string 101"]),
    ("one byte past the ceiling", program + bytes(peshape.CEILINGS[arch] + 1 - len(program)),
     ["size at most %d bytes" % peshape.CEILINGS[arch]]),
] + ([
    ("marked NO_SEH", faulty(marked_no_seh), ["not marked NO_SEH"]),
    ("a SafeSEH handler table", faulty(with_safe_seh_table), ["no SafeSEH handler table"]),
] if arch == "x86" else [
    ("the bracket without its exception handler", faulty(bracket_without_handler),
     ["codec bracket has an exception handler"]),
])
results = []


def report(name, failed, failing):
    ok = len(failed) == len(failing) and all(check.startswith(start) for check, start in zip(failed, failing))
    results.append(ok)
    print("%s %s: failed checks %s" % ("ok  " if ok else "FAIL", name, failed))


for name, data, failing in cases:
    report(name, [check for check, ok, _ in peshape.check(arch, bytes(data)) if not ok], failing)
report("the test build, on how it is linked",
       [check for check, ok, _ in peshape.check(arch, testbuild) if not ok and check.startswith(LINKING)], [])
print("%d passed, %d failed" % (results.count(True), results.count(False)))
sys.exit(0 if all(results) else 1)
