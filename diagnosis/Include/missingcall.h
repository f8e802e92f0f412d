// missingcall.h - the call of a function that a DLL lacks, as Wine reports it.
// Windows refuses to load a DLL whose import is missing; Wine loads it and
// binds the import to a stub, whose call raises exception 0x80000100 with the
// DLL's name and the function's (or its number) as its two parameters. It
// uses no heap, so that a crash report can use it in a damaged process.
#ifndef FERROTUNE_MISSINGCALL_H
#define FERROTUNE_MISSINGCALL_H

#include <windows.h>

const DWORD kWineStubException = 0x80000100;

struct MissingCall {
    WCHAR dll[MAX_PATH];
    WCHAR function[MAX_PATH]; // its name, or "#" and its number
};

// The call that raised the exception, read from its parameters without
// trusting them; false when it is no such exception, or they cannot be read.
bool ReadMissingCall(const EXCEPTION_RECORD& record, MissingCall* call);

#endif
