// vfwlibrary.h - the compressor manager, loaded from the system directory.
//
// msvfw32.dll is not one of Windows' known DLLs: a static import would let a
// DLL of that name beside the program (a downloads folder, say) be loaded in
// its place. The launcher reaches ICOpen, ICSendMessage and ICClose through
// these functions instead, which load the system's copy at first use.
#ifndef FERROTUNE_VFWLIBRARY_H
#define FERROTUNE_VFWLIBRARY_H

#include <windows.h>

#include <vfw.h>

// ICOpen of the system's compressor manager; null when the manager cannot be
// loaded, which the launcher treats like a compressor that is not installed.
HIC VfwOpen(DWORD type, DWORD handler, UINT mode);
// Whether the compressor manager is loaded (after the first VfwOpen).
bool VfwLoaded();
// ICSendMessage; ICERR_UNSUPPORTED when the manager is not loaded.
LRESULT VfwSendMessage(HIC hic, UINT message, DWORD_PTR param1, DWORD_PTR param2);
// ICClose; nothing when the manager is not loaded.
void VfwClose(HIC hic);

#endif
