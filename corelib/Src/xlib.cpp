// xlib - bringing the library up and down, the machine profile and the
// display format that first-time initialisation collects.
#include "lumaret.h"

#include "cpuprobe.h"
#include "displayseam.h"
#include "profileseam.h"

#include <stdlib.h>
#include <string.h>

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

    // An exception out of the collection must not leave the library half up:
    // the caller, told nothing, could never balance the count, and the next
    // call would pass for a nested one. Undo this call's first-time work, so
    // the library is down as after any failed first call, and let it pass.
    try {
        g_systemInfo.Collect();
        CxGetDisplayFormat(&g_pixelFormat, &g_redBits, &g_greenBits, &g_blueBits);
    } catch (...) {
        LumaretUninitialize();
        throw;
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

// ---------------------------------------------------------------------------
// System profile
// ---------------------------------------------------------------------------
CxSystemInfo g_systemInfo;

BOOL(WINAPI* g_queryVersion)(OSVERSIONINFOA* version) = GetVersionExA;

namespace {

const unsigned long kVersionQueryFailedFlags = 0x1D0004; // system error code, console line with file name
const unsigned long kVersionQueryFailedLine = 577;

void IdentifyProcessor(void* features)
{
    CxCpuInfo cpu;
    *static_cast<unsigned long*>(features) = cpu.m_features;
}

} // namespace

// Fills the version record, the processor count and the CPU feature mask, in
// that order. Raises CxException when the version query fails; the later
// fields then keep their values. A processor fault during identification
// costs only the mask, which is then 0.
void CxSystemInfo::Collect()
{
    memset(&m_osVersion, 0, sizeof(m_osVersion));
    m_osVersion.dwOSVersionInfoSize = sizeof(m_osVersion);
    if (!g_queryVersion(&m_osVersion)) {
        // Read before the throw: allocating the exception may change it.
        DWORD error = GetLastError();
        throw CxException(kVersionQueryFailedFlags, error, __FILE__, kVersionQueryFailedLine);
    }

    // No checks: whatever atol makes of the text is the count.
    const char* processors = getenv("NUMBER_OF_PROCESSORS");
    m_processorCount = processors != nullptr ? atol(processors) : 1;

    unsigned long features = 0;
    m_cpuFeatures = CxRunCatchingAll(IdentifyProcessor, &features) ? features : 0;
}

// ---------------------------------------------------------------------------
// Display pixel format
// ---------------------------------------------------------------------------
unsigned long g_pixelFormat = 0;
unsigned long g_redBits = 0;
unsigned long g_greenBits = 0;
unsigned long g_blueBits = 0;

const CxDisplayCalls g_realDisplayCalls = {
    GetDesktopWindow, GetDC,    ReleaseDC, GetDeviceCaps, CreateCompatibleDC, CreateCompatibleBitmap,
    SelectObject,     SetPixel, GetPixel,  DeleteObject,  DeleteDC,
};
CxDisplayCalls g_displayCalls = g_realDisplayCalls;

namespace {

// Integer base-2 logarithm of half the count: the bits a channel needs for
// that many distinct levels (32 to 63 runs give 5, 256 give 8).
unsigned long BitsForRuns(unsigned long runs)
{
    unsigned long bits = 0;
    for (unsigned long half = runs / 2; half != 0; half /= 2)
        ++bits;
    return bits;
}

// Tells 5-5-5 from 5-6-5 by writing every grey level into a one-pixel bitmap
// of the screen's format and counting, per channel, the runs of equal values
// that come back. Leaves 0 in all four outputs when a GDI object cannot be had.
void MeasureSixteenBitDisplay(HDC screen, unsigned long* format, unsigned long* redBits, unsigned long* greenBits,
                              unsigned long* blueBits)
{
    const CxDisplayCalls& gdi = g_displayCalls;
    HDC memory = gdi.createCompatibleDC(screen);
    if (memory == nullptr)
        return;
    // From the screen's context: one made from the memory context would be monochrome.
    HBITMAP bitmap = gdi.createCompatibleBitmap(screen, 1, 1);
    if (bitmap == nullptr) {
        gdi.deleteDC(memory);
        return;
    }
    HGDIOBJ previous = gdi.selectObject(memory, bitmap);
    if (previous == nullptr) {
        gdi.deleteObject(bitmap);
        gdi.deleteDC(memory);
        return;
    }

    unsigned long runs[3] = {0, 0, 0};
    long last[3] = {-1, -1, -1}; // no channel value equals -1
    for (unsigned long level = 0; level < 256; ++level) {
        gdi.setPixel(memory, 0, 0, RGB(level, level, level));
        // CLR_INVALID from a failing read is counted like any other colour.
        COLORREF colour = gdi.getPixel(memory, 0, 0);
        for (int channel = 0; channel < 3; ++channel) {
            long value = (colour >> (8 * channel)) & 0xFF;
            if (value != last[channel]) {
                ++runs[channel];
                last[channel] = value;
            }
        }
    }

    *redBits = BitsForRuns(runs[0]);
    *greenBits = BitsForRuns(runs[1]);
    *blueBits = BitsForRuns(runs[2]);
    if (*redBits == 5 && *greenBits == 5 && *blueBits == 5)
        *format = CXPIXFMT_RGB555;
    else if (*redBits == 5 && *greenBits == 6 && *blueBits == 5)
        *format = CXPIXFMT_RGB565;

    gdi.selectObject(memory, previous);
    gdi.deleteObject(bitmap);
    gdi.deleteDC(memory);
}

} // namespace

// Records the desktop's pixel format: the code and the red, green and blue bit
// counts. Depth is planes times bits per pixel; only a 16-bit display is
// measured. Every failure leaves 0; nothing is reported.
void CxGetDisplayFormat(unsigned long* format, unsigned long* redBits, unsigned long* greenBits,
                        unsigned long* blueBits)
{
    *format = 0;
    *redBits = 0;
    *greenBits = 0;
    *blueBits = 0;

    const CxDisplayCalls& gdi = g_displayCalls;
    HDC screen = gdi.getDC(gdi.getDesktopWindow());
    if (screen == nullptr)
        return;

    int planes = gdi.getDeviceCaps(screen, PLANES);
    int depth = planes * gdi.getDeviceCaps(screen, BITSPIXEL);
    switch (depth) {
    case 1:
        *format = CXPIXFMT_1BPP;
        break;
    case 4:
        *format = CXPIXFMT_4BPP;
        break;
    case 8:
        *format = CXPIXFMT_8BPP;
        break;
    case 16:
        MeasureSixteenBitDisplay(screen, format, redBits, greenBits, blueBits);
        break;
    case 24:
        *format = CXPIXFMT_RGB24;
        *redBits = *greenBits = *blueBits = 8;
        break;
    case 32:
        *format = CXPIXFMT_RGB32;
        *redBits = *greenBits = *blueBits = 8;
        break;
    default: // 0, 2, 15, above 32: unknown
        break;
    }

    // The window is asked for again rather than remembered.
    gdi.releaseDC(gdi.getDesktopWindow(), screen);
}
