/* Codec files that a compressor manager cannot use. Built without
 * BROKEN_DRIVERPROC it is a DLL of the build's own processor that exports no
 * DriverProc; with it, a DLL that has a DriverProc but is built for the other
 * processor (32-bit in the 64-bit build, 64-bit in the 32-bit one). */
#include <windows.h>

#ifdef BROKEN_DRIVERPROC
__declspec(dllexport) LRESULT WINAPI DriverProc(DWORD_PTR id, HANDLE driver, UINT message, LPARAM param1, LPARAM param2)
{
    (void)id, (void)driver, (void)message, (void)param1, (void)param2;
    return 1;
}
#else
__declspec(dllexport) int WINAPI NotADriver(void)
{
    return 0;
}
#endif
