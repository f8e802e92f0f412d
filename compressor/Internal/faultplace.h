// faultplace.h - where an exception was raised, as the boxes say it. It uses
// no heap, so that a crash report can use it in a damaged process.
#ifndef FERROTUNE_FAULTPLACE_H
#define FERROTUNE_FAULTPLACE_H

#include <windows.h>

struct FaultPlace {
    HMODULE module;       // the module the address lies in; null when it lies in none
    WCHAR code[11];       // the exception code, "0xC0000005"
    WCHAR file[MAX_PATH]; // that module's file as Explorer shows it; "" when there is none
    WCHAR offset[19];     // the address's offset in that module, "0x00001A2B"; the address itself without one
};

void DescribeFault(DWORD code, const void* address, FaultPlace* place);
// module's file as Explorer shows it into file; false when there is none.
bool ModuleFile(HMODULE module, WCHAR file[MAX_PATH]);

#endif
