#!/usr/bin/python3
"""peshape_test.py PESHAPE ARCH PROGRAM - the shape check passes the built
program and fails each copy of it that has one fault, on that fault's check
alone (named by its start)."""
import os
import sys

import pefile

sys.dont_write_bytecode = True  # nothing of the run lands in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(sys.argv[1])))
import peshape  # noqa: E402 (found through the path above)

arch, program = sys.argv[2], open(sys.argv[3], "rb").read()


def without_nx(pe):
    pe.OPTIONAL_HEADER.DllCharacteristics &= ~0x0100


def importing_a_foreign_dll(pe):
    user32 = next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"user32.dll")
    pe.set_bytes_at_rva(user32.struct.Name, b"userxx.dll")


def without_string_101(pe):
    strings = next(e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == pefile.RESOURCE_TYPE["RT_STRING"])
    strings.directory.entries[0].struct.Name += 1  # block 7 (strings 96..111) becomes block 8


def faulty(fault):
    pe = pefile.PE(data=program)
    fault(pe)
    return pe.write()


cases = [
    ("the built program", program, None),
    ("no NX_COMPAT", faulty(without_nx), "DYNAMIC_BASE, NX_COMPAT"),
    ("an import of userxx.dll", faulty(importing_a_foreign_dll), "imports only Windows DLLs"),
    ("string 101 missing", faulty(without_string_101), "string 101"),
    ("one byte past the ceiling", program + bytes(peshape.CEILINGS[arch] + 1 - len(program)),
     "size at most %d bytes" % peshape.CEILINGS[arch]),
]
failures = 0
for name, data, failing in cases:
    failed = [check for check, ok, _ in peshape.check(arch, bytes(data)) if not ok]
    ok = [check.startswith(failing) for check in failed] == [True] if failing else not failed
    failures += not ok
    print("%s %s: failed checks %s" % ("ok  " if ok else "FAIL", name, failed))
print("%d passed, %d failed" % (len(cases) - failures, failures))
sys.exit(1 if failures else 0)
