// runtimes.h - the packages that install the runtimes codecs commonly need,
// by the names of their DLLs and side-by-side assemblies.
#ifndef FERROTUNE_RUNTIMES_H
#define FERROTUNE_RUNTIMES_H

#include <windows.h>

// The string resource that names the package installing the DLL name (".dll"
// or not) or the side-by-side assembly name ("Microsoft.VC90.CRT 9.0.21022.8,
// x86"); 0 when the table has none, or the name is Windows' own.
UINT RuntimePackage(const WCHAR* name);

#endif
