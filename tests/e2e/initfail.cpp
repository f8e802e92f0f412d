// initfail.cpp - linked into a test build of the program, never into the
// shipped one. The library's initialisation counter starts at its maximum, so
// the program's LumaretInitialize fails with CXRES_UNHANDLED. A call of
// LumaretUninitialize, which must not follow a failed initialisation, writes
// a debugger-output line of its own so that a test sees it.
#include "lumaret.h"

#include <windows.h>

namespace {

struct CounterAtMaximum {
    CounterAtMaximum() { g_initCount = 0xFFFFFFFFul; }
};
CounterAtMaximum s_counterAtMaximum;

} // namespace

// The linker's --wrap of LumaretUninitialize (by its C++ symbol name) sends
// the program's calls here and names the library's own function __real_.
extern "C" unsigned long __real__Z19LumaretUninitializev();
extern "C" unsigned long __wrap__Z19LumaretUninitializev()
{
    OutputDebugStringA("test build: LumaretUninitialize called\n");
    return __real__Z19LumaretUninitializev();
}
