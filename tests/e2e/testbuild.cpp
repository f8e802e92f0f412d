// testbuild.cpp - linked into a test build of the program, never into the
// shipped one. Through the linker's --wrap, the program's own calls of three
// functions come here first (the real one is named __real_ plus the C++ name):
// - VfwOpen writes a debugger-output line with the type, handler and mode
//   exactly as the launcher passes them, before the compressor manager folds
//   the type's case;
// - LumaretUninitialize writes a line of its own, so that a test can count
//   the shutdowns;
// - LumaretInitialize first makes the failure that FERROTUNE_TEST_INITIALISATION
//   names: "counter-at-maximum" (it returns CXRES_UNHANDLED) or
//   "version-query-fails" (it raises CxException from the profile).
// At the program's end, a line says that the single-instance mutex is gone,
// unless some process still holds it.
#include "lumaret.h"
#include "profileseam.h"

#include <windows.h>

#include <vfw.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

BOOL WINAPI FailingVersionQuery(OSVERSIONINFOA*)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// Runs after ExitInstance, when the program returns from its entry function.
struct MutexCheckAtEnd {
    ~MutexCheckAtEnd()
    {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "VelquistFerrotuneMutex");
        if (mutex != nullptr)
            CloseHandle(mutex);
        else
            OutputDebugStringA("test build: mutex gone at the end\n");
    }
};
MutexCheckAtEnd s_mutexCheckAtEnd;

} // namespace

extern "C" {

unsigned long __real__Z17LumaretInitializev();
unsigned long __wrap__Z17LumaretInitializev()
{
    const char* failure = getenv("FERROTUNE_TEST_INITIALISATION");
    if (failure != nullptr && strcmp(failure, "counter-at-maximum") == 0)
        g_initCount = 0xFFFFFFFFul;
    if (failure != nullptr && strcmp(failure, "version-query-fails") == 0)
        g_queryVersion = FailingVersionQuery;
    return __real__Z17LumaretInitializev();
}

unsigned long __real__Z19LumaretUninitializev();
unsigned long __wrap__Z19LumaretUninitializev()
{
    OutputDebugStringA("test build: LumaretUninitialize called\n");
    return __real__Z19LumaretUninitializev();
}

HIC __real__Z7VfwOpenmmj(DWORD type, DWORD handler, UINT mode);
HIC __wrap__Z7VfwOpenmmj(DWORD type, DWORD handler, UINT mode)
{
    char line[80];
    snprintf(line, sizeof(line), "test build: VfwOpen type=%.4s handler=%.4s mode=%u\n",
             reinterpret_cast<const char*>(&type), reinterpret_cast<const char*>(&handler), mode);
    OutputDebugStringA(line);
    return __real__Z7VfwOpenmmj(type, handler, mode);
}
}
