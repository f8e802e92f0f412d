/* Codec files that a compressor manager cannot use. Built plain it is a DLL
 * of the build's own processor that exports no DriverProc; with
 * BROKEN_DRIVERPROC, a DLL that has a DriverProc but is built for the other
 * processor (32-bit in the 64-bit build, 64-bit in the 32-bit one); with
 * BROKEN_NEEDS_HELPER, a codec that imports qv4zhelper.dll, which is never
 * installed; with BROKEN_HELPER, that helper DLL. */
#include <windows.h>

#if defined(BROKEN_DRIVERPROC) || defined(BROKEN_NEEDS_HELPER)
#ifdef BROKEN_NEEDS_HELPER
__declspec(dllimport) int Qv4zHelper(void);
#endif

__declspec(dllexport) LRESULT WINAPI DriverProc(DWORD_PTR id, HANDLE driver, UINT message, LPARAM param1, LPARAM param2)
{
    (void)id, (void)driver, (void)message, (void)param1, (void)param2;
#ifdef BROKEN_NEEDS_HELPER
    return Qv4zHelper();
#else
    return 1;
#endif
}
#elif defined(BROKEN_HELPER)
__declspec(dllexport) int Qv4zHelper(void)
{
    return 1;
}
#else
__declspec(dllexport) int WINAPI NotADriver(void)
{
    return 0;
}
#endif
