/* Codec files that a compressor manager cannot use. Built plain it is a DLL
 * of the build's own processor that exports no DriverProc; with
 * BROKEN_DRIVERPROC, a DLL that has a DriverProc but is built for the other
 * processor (32-bit in the 64-bit build, 64-bit in the 32-bit one); with
 * BROKEN_NEEDS_HELPER, a codec that imports Qv4zHelper from the helper DLL it
 * is linked with, which is never where the loader looks (with
 * BROKEN_REFUSES it refuses to open, should the helper be found); with
 * BROKEN_HELPER, that helper DLL, and with BROKEN_NEWER too, a newer helper
 * that also has Qv4zHelperNewer; with BROKEN_NEEDS_NEWER, a codec that
 * imports that function and refuses to open, or, with STANDIN_QV4Z_CRASH
 * set to "lacking", calls it; with BROKEN_NEEDS_RUNTIME, a codec that opens,
 * whose start-up code imports the C runtime it is linked with. */
#include <windows.h>

#include <mmsystem.h>

#include <string.h>

#if defined(BROKEN_DRIVERPROC) || defined(BROKEN_NEEDS_HELPER) || defined(BROKEN_NEEDS_NEWER) ||                       \
    defined(BROKEN_NEEDS_RUNTIME)
#ifdef BROKEN_NEEDS_HELPER
__declspec(dllimport) int Qv4zHelper(void);
#endif
#ifdef BROKEN_NEEDS_NEWER
__declspec(dllimport) int Qv4zHelperNewer(void);

static int CallsLacking(void)
{
    char mode[16];
    DWORD length = GetEnvironmentVariableA("STANDIN_QV4Z_CRASH", mode, sizeof(mode));
    return length > 0 && length < sizeof(mode) && strcmp(mode, "lacking") == 0;
}
#endif

__declspec(dllexport) LRESULT WINAPI DriverProc(DWORD_PTR id, HANDLE driver, UINT message, LPARAM param1, LPARAM param2)
{
    (void)id, (void)driver, (void)message, (void)param1, (void)param2;
#if defined(BROKEN_REFUSES) || defined(BROKEN_NEEDS_NEWER)
    if (message == DRV_OPEN)
#ifdef BROKEN_NEEDS_NEWER
        return CallsLacking() ? Qv4zHelperNewer() : 0;
#else
        return 0;
#endif
#endif
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
#ifdef BROKEN_NEWER
__declspec(dllexport) int Qv4zHelperNewer(void)
{
    return 1;
}
#endif
#else
__declspec(dllexport) int WINAPI NotADriver(void)
{
    return 0;
}
#endif
