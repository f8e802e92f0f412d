// xlib - bringing the library up and down, the machine profile and the
// display format that first-time initialisation collects.
#include "lumaret.h"

#include <new>

unsigned long g_initCount = 0;
unsigned long g_libraryMagic = 0;
CxTrace* g_trace = nullptr;

namespace {

// Sets the magic word while the program's globals are initialised, before its
// entry function runs. An initialisation made earlier finds 0 and fails.
struct LibraryMagicSetter {
    LibraryMagicSetter() { g_libraryMagic = CX_LIBRARY_MAGIC; }
};
LibraryMagicSetter s_libraryMagicSetter;

} // namespace

// Counts one initialisation; the first one checks the magic word and makes the
// trace sink. Returns CXRES_OK or a failure code; a failure leaves the counter
// as it was before the call.
unsigned long LumaretInitialize()
{
    if (g_initCount == 0xFFFFFFFFul)
        return CXRES_UNHANDLED;

    if (++g_initCount != 1)
        return CXRES_OK;

    if (g_libraryMagic != CX_LIBRARY_MAGIC) {
        LumaretUninitialize();
        return CXRES_CREATEFAILED;
    }

    if (g_trace == nullptr)
        g_trace = new (std::nothrow) CxTrace;
    if (g_trace == nullptr) {
        LumaretUninitialize();
        return CXRES_OUTOFRANGE;
    }

    return CXRES_OK;
}

// Takes one initialisation back; the last one destroys the trace sink.
// Returns CXRES_NOTINITIALIZED when the library is down.
unsigned long LumaretUninitialize()
{
    if (g_initCount == 0)
        return CXRES_NOTINITIALIZED;

    if (--g_initCount != 0)
        return CXRES_OK;

    if (g_trace != nullptr) {
        delete g_trace;
        g_trace = nullptr;
    }
    return CXRES_OK;
}
