// vfwlibrary.h - the compressor manager, loaded from the system directory.
//
// msvfw32.dll is not one of Windows' known DLLs: a static import would let a
// DLL of that name beside the program (a downloads folder, say) be loaded in
// its place. The launcher reaches ICOpen, ICSendMessage and ICClose through
// these functions instead, which load the system's copy at first use. Each
// call runs the codec's code inside CodecCall (codeccrash.h), so that a crash
// of the codec is reported as the codec's.
#ifndef FERROTUNE_VFWLIBRARY_H
#define FERROTUNE_VFWLIBRARY_H

#include "codeccrash.h"

#include <windows.h>

#include <vfw.h>

// ICOpen of the system's compressor manager; null when the manager cannot be
// loaded, which the launcher treats like a compressor that is not installed.
HIC VfwOpen(DWORD type, DWORD handler, UINT mode);
// Whether the compressor manager is loaded (after the first VfwOpen).
bool VfwLoaded();
// ICSendMessage, for the step of the launcher's that it is part of;
// ICERR_UNSUPPORTED when the manager is not loaded.
LRESULT VfwSendMessage(HIC hic, UINT message, DWORD_PTR param1, DWORD_PTR param2, CodecStep step);
// ICClose; nothing when the manager is not loaded.
void VfwClose(HIC hic);

// A processor exception raised while the codec started (its DLL's start-up,
// run by the loader inside ICOpen), which the loader caught and turned into a
// failed load.
struct CodecStartupFault {
    WCHAR code[11];             // the exception code, "0xC0000005"
    WCHAR where[MAX_PATH + 12]; // the module's file name and the offset in it, "qv4z.dll+0x00001A2B"
};
// What the last VfwOpen saw when it opened nothing: the first such exception
// of its thread; null when there was none.
const CodecStartupFault* VfwStartupFault();

#endif
