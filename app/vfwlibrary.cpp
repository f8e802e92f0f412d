// vfwlibrary - the compressor manager's three entry points, bound at first use
// to msvfw32.dll from the system directory only.
#include "vfwlibrary.h"

#include <string.h>

namespace {

typedef HIC(VFWAPI* OpenFunction)(DWORD, DWORD, UINT);
typedef LRESULT(VFWAPI* SendMessageFunction)(HIC, UINT, DWORD_PTR, DWORD_PTR);
typedef LRESULT(VFWAPI* CloseFunction)(HIC);

struct VfwEntryPoints {
    bool tried;
    OpenFunction open;
    SendMessageFunction sendMessage;
    CloseFunction close;
};

VfwEntryPoints s_vfw = {false, nullptr, nullptr, nullptr};

const char kLibraryName[] = "msvfw32.dll";

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// The system directory's copy: by search flag where the loader knows it, else
// by its full path (systems without the flag reject it as a bad parameter).
HMODULE LoadFromSystemDirectory()
{
    HMODULE module = LoadLibraryExA(kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;

    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + sizeof(kLibraryName) > MAX_PATH)
        return nullptr;
    strcat(path, "\\");
    strcat(path, kLibraryName);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// GetProcAddress gives a generic function pointer; going through void* states
// that the real type is known.
template <typename Function> Function EntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads the library once; the entry points stay null if any is missing. The
// three are looked up by name, so they are no imports that tools/peshape.py
// holds to its lists: ICOpen, ICSendMessage and ICClose, which Windows XP has
// (the README names them with the oldest Windows).
bool Bind()
{
    if (!s_vfw.tried) {
        s_vfw.tried = true;
        HMODULE module = LoadFromSystemDirectory();
        if (module != nullptr) {
            OpenFunction open = EntryPoint<OpenFunction>(module, "ICOpen");
            SendMessageFunction send = EntryPoint<SendMessageFunction>(module, "ICSendMessage");
            CloseFunction close = EntryPoint<CloseFunction>(module, "ICClose");
            if (open && send && close) {
                s_vfw.open = open;
                s_vfw.sendMessage = send;
                s_vfw.close = close;
            }
        }
    }
    return s_vfw.open != nullptr;
}

} // namespace

HIC VfwOpen(DWORD type, DWORD handler, UINT mode)
{
    return Bind() ? s_vfw.open(type, handler, mode) : nullptr;
}

bool VfwLoaded()
{
    return s_vfw.open != nullptr;
}

LRESULT VfwSendMessage(HIC hic, UINT message, DWORD_PTR param1, DWORD_PTR param2)
{
    return Bind() ? s_vfw.sendMessage(hic, message, param1, param2) : ICERR_UNSUPPORTED;
}

void VfwClose(HIC hic)
{
    if (Bind())
        s_vfw.close(hic);
}
