// vfwlibrary - the compressor manager's three entry points, bound at first use
// to msvfw32.dll from the system directory only, each called inside CodecCall;
// and what ICOpen saw of a crash in the codec's start-up.
#include "compressor.h"

#include "callchain.h"
#include "codecguard.h"
#include "crashreport.h"
#include "faultplace.h"
#include "paths.h"

#include <wchar.h>

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

const WCHAR kLibraryName[] = L"msvfw32.dll";

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// The system directory's copy: by search flag where the loader knows it, else
// by its full path (systems without the flag reject it as a bad parameter).
HMODULE LoadFromSystemDirectory()
{
    HMODULE module = LoadLibraryExW(kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    const SystemFolders folders;
    WCHAR path[MAX_PATH];
    if (folders.system32[0] == L'\0' || !JoinPath(path, folders.system32, kLibraryName))
        return nullptr;
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
        PrepareForCodecCrashes();
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

// ---------------------------------------------------------------------------
// The calls, each inside CodecCall
// ---------------------------------------------------------------------------
struct OpenCall {
    DWORD type;
    DWORD handler;
    UINT mode;
};

LRESULT CallOpen(void* context)
{
    const OpenCall* call = static_cast<const OpenCall*>(context);
    return reinterpret_cast<LRESULT>(s_vfw.open(call->type, call->handler, call->mode));
}

struct SendCall {
    HIC hic;
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;
};

LRESULT CallSend(void* context)
{
    const SendCall* call = static_cast<const SendCall*>(context);
    return s_vfw.sendMessage(call->hic, call->message, call->param1, call->param2);
}

LRESULT CallClose(void* context)
{
    return s_vfw.close(static_cast<HIC>(context));
}

// ---------------------------------------------------------------------------
// A crash in the codec's start-up
// ---------------------------------------------------------------------------
// The loader runs a DLL's start-up inside ICOpen and catches an exception
// raised there, so that the load just fails: CodecCall's handler never sees
// it. While ICOpen runs, a vectored handler, which sees every exception before
// any frame-based handler does, notes the first error-class exception of the
// opening thread that nothing but the loader would catch: the first handler
// that the dispatcher would call for it (callchain.h) lies in ntdll.dll, the
// loader's. One that the codec, or a system DLL it called, may handle (a
// probe under IsBadReadPtr, say) is no crash; nor is one under a handler that
// the codec's runtime puts around its start-up, as Microsoft's C runtime
// does: such a codec is said not to have opened, which is true. The load's
// own error does not tell: Windows 8 and later give a start-up that crashed
// the same ERROR_DLL_INIT_FAILED as one that refused. The note is kept only
// when ICOpen then opens nothing.
struct StartupWatch {
    DWORD thread;
    HMODULE loader;
    bool seen;
    FaultPlace fault;
};

StartupWatch s_startupWatch;
StartupCrash s_startupCrash;
bool s_startupCrashed = false;

LONG CALLBACK WatchStartup(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    // Errors have 11 in their top bits, and no customer bit (C++ exceptions
    // have it).
    if ((record.ExceptionCode & 0xF0000000ul) == 0xC0000000ul && !s_startupWatch.seen &&
        GetCurrentThreadId() == s_startupWatch.thread &&
        InImage(s_startupWatch.loader, FirstHandler(*info->ContextRecord))) {
        DescribeFault(record.ExceptionCode, record.ExceptionAddress, &s_startupWatch.fault);
        s_startupWatch.seen = true;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Keeps the watch's note as the start-up crash: the code, and where, as the
// module's file name and the offset (the address when it lies in no module).
void KeepStartupCrash()
{
    const FaultPlace& fault = s_startupWatch.fault;
    WCHAR* where = s_startupCrash.where;
    where[0] = L'\0';
    if (fault.module != nullptr) {
        const WCHAR* name = wcsrchr(fault.file, L'\\');
        wcscpy(where, name != nullptr ? name + 1 : fault.file);
        wcscat(where, L"+");
    }
    wcscat(where, fault.offset);
    wcscpy(s_startupCrash.code, fault.code);
    wcscpy(s_startupCrash.module, fault.file);
    wcscpy(s_startupCrash.offset, fault.offset);
    s_startupCrashed = true;
}

} // namespace

HIC VfwOpen(DWORD type, DWORD handler, UINT mode)
{
    s_startupCrashed = false;
    if (!Bind())
        return nullptr;
    s_startupWatch.thread = GetCurrentThreadId();
    s_startupWatch.loader = GetModuleHandleW(L"ntdll.dll");
    s_startupWatch.seen = false;
    PVOID watch = AddVectoredExceptionHandler(0, WatchStartup);
    OpenCall call = {type, handler, mode};
    HIC hic = reinterpret_cast<HIC>(CodecCall(CODEC_OPENING, CallOpen, &call));
    if (watch != nullptr)
        RemoveVectoredExceptionHandler(watch);
    if (hic == nullptr && s_startupWatch.seen)
        KeepStartupCrash();
    // The codec's module is looked up now, while nothing holds a lock that
    // the look-up needs, and kept for a crash later.
    if (hic != nullptr)
        CodecModule();
    return hic;
}

const StartupCrash* VfwStartupCrash()
{
    return s_startupCrashed ? &s_startupCrash : nullptr;
}

bool VfwLoaded()
{
    return s_vfw.open != nullptr;
}

LRESULT VfwSendMessage(HIC hic, UINT message, DWORD_PTR param1, DWORD_PTR param2, CodecStep step)
{
    if (!Bind())
        return ICERR_UNSUPPORTED;
    SendCall call = {hic, message, param1, param2};
    return CodecCall(step, CallSend, &call);
}

void VfwClose(HIC hic)
{
    if (Bind())
        CodecCall(CODEC_CLOSING, CallClose, hic);
}
