// profileseam.h - the Windows version query of the system profile, replaceable
// so that tests can make it fail (the real system always answers). It holds
// GetVersionExA until a test changes it.
#ifndef CORELIB_INTERNAL_PROFILESEAM_H
#define CORELIB_INTERNAL_PROFILESEAM_H

#include <windows.h>

extern BOOL(WINAPI* g_queryVersion)(OSVERSIONINFOA* version);

#endif
