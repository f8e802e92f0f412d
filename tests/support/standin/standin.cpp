// standin.cpp - a stand-in "QV4Z" video compressor for tests: a real installable
// compressor driver that answers the two capability questions as the test that
// starts the host process asks, shows small dialogs of its own for the two
// actions, and appends one line per message it receives to a log file.
//
// Configured through the host process's environment:
//   STANDIN_QV4Z_CONFIGURE  answer to the ICM_CONFIGURE question (default 0, ICERR_OK)
//   STANDIN_QV4Z_ABOUT      answer to the ICM_ABOUT question (default 0, ICERR_OK)
//   STANDIN_QV4Z_MISSING    "1": refuse every DRV_OPEN, so ICOpen finds no compressor
//   STANDIN_QV4Z_LOG        file to append the log to (no log without it)
//   STANDIN_QV4Z_CRASH      where the compressor's own code faults, unhandled: "startup" (an access violation
//                           in DllMain), "open" (an illegal instruction in DRV_OPEN), "configure" (an access
//                           violation in its settings dialog's procedure, on WM_INITDIALOG), "about" (a
//                           division by zero in ICM_ABOUT's action) or "overflow" (a stack overflow in its
//                           About box's procedure, on WM_INITDIALOG); "program": in DRV_CONFIGURE, sends the
//                           caller's window a WM_INITDIALOG whose parameter is no dialog object, so that the
//                           program's own code faults; "system": likewise, but the parameter is an object each
//                           of whose virtual functions is ntdll's DbgBreakPoint, so that the program's own code
//                           calls a system DLL that raises a breakpoint; "heaplock": in DRV_CONFIGURE, takes the
//                           process heap's lock, then an access violation; "thread": its settings dialog starts a
//                           thread that faults at once; unset: nowhere. Handled faults, which are no crash:
//                           "probe-startup" (DllMain probes memory with IsBadReadPtr, then refuses the load),
//                           "probe-open" (DRV_OPEN probes, then answers as configured)
//   STANDIN_QV4Z_WHOLE      the path, holding a space, that the compressor is registered with. Windows'
//                           compressor manager loads such a path whole, Wine's the text before its first space
//                           (".dll" added): a copy of the stand-in there passes every message on to the copy at
//                           the whole path, so that the codec that runs is the one that Windows would run
//
// Log lines (fields separated by spaces, values in hexadecimal):
//   pid=<decimal> msg=0x<message> id=0x<driver id> p1=0x<param 1> p2=0x<param 2>
//   [type=<fcc> handler=<fcc> mode=0x<flags>]   on a DRV_OPEN that carries an ICOPEN record
//   [opened=0x<driver id>]                      on every DRV_OPEN: its answer, 0 when refused
//   pid=<decimal> dialog=configure|about hwnd=0x<dialog> owner=0x<its owner window>
//   pid=<decimal> menuitem=<position> of=0x<owner> id=0x<item id> type=0x<item type> text=<rest of line>
//     one line per item of the owner's system menu, read when the dialog opens
//     (another process cannot read a window's menu under Wine)
//   pid=<decimal> fault=<crash mode> from=0x<offset> to=0x<offset>
//     just before the fault: where in the DLL the faulting code lies (the exception's address is in [from, to))
#include "standin_resource.h"

#include <windows.h>

#include <mmsystem.h>
#include <vfw.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The faulting code, in assembly so that the place of the fault is known: an
// access violation (a write to address 0), an illegal instruction, a division
// by zero, and a recursion that probes each new page of the stack before it
// moves the stack pointer there, as compiled code does, until the stack
// overflows. Each is followed by a label that ends its range.
extern "C" void StandinAccessViolation() asm("standin_access_violation");
extern "C" void StandinAccessViolationEnd() asm("standin_access_violation_end");
extern "C" void StandinIllegalInstruction() asm("standin_illegal_instruction");
extern "C" void StandinIllegalInstructionEnd() asm("standin_illegal_instruction_end");
extern "C" void StandinDivideByZero() asm("standin_divide_by_zero");
extern "C" void StandinDivideByZeroEnd() asm("standin_divide_by_zero_end");
extern "C" void StandinOverflowStack() asm("standin_overflow_stack");
extern "C" void StandinOverflowStackEnd() asm("standin_overflow_stack_end");
#if defined(_WIN64)
// x64 code that moves the stack pointer needs unwind information for the
// system to find the frames above it.
#define STANDIN_SP "%rsp"
#define STANDIN_AX "%rax"
#define STANDIN_SEH(directive) "    " directive "\n"
#else
#define STANDIN_SP "%esp"
#define STANDIN_AX "%eax"
#define STANDIN_SEH(directive) ""
#endif
// clang-format off
asm(".text\n"
    "standin_access_violation:\n"
    "    xor %eax, %eax\n"
    "    movl $1, (" STANDIN_AX ")\n"
    "    ret\n"
    "standin_access_violation_end:\n"
    "standin_illegal_instruction:\n"
    "    ud2\n"
    "standin_illegal_instruction_end:\n"
    "standin_divide_by_zero:\n"
    "    xor %ecx, %ecx\n"
    "    xor %eax, %eax\n"
    "    xor %edx, %edx\n"
    "    divl %ecx\n"
    "    ret\n"
    "standin_divide_by_zero_end:\n"
    STANDIN_SEH(".seh_proc standin_overflow_stack")
    "standin_overflow_stack:\n"
    "    movl $0, -4096(" STANDIN_SP ")\n"
    "    sub $4096, " STANDIN_SP "\n"
    STANDIN_SEH(".seh_stackalloc 4096")
    STANDIN_SEH(".seh_endprologue")
    "    call standin_overflow_stack\n"
    "    nop\n"
    STANDIN_SEH(".seh_endproc")
    "standin_overflow_stack_end:\n");
// clang-format on

namespace {

HINSTANCE s_module = nullptr;

// Each DRV_OPEN that succeeds gets a driver id of its own, so that the log
// shows which opened instance each later message goes to.
LRESULT s_lastInstanceId = 0x100;

// The value of an environment variable of the host process, or "" when unset.
void ReadVariable(const char* name, char* value, DWORD size)
{
    DWORD length = GetEnvironmentVariableA(name, value, size);
    if (length == 0 || length >= size)
        value[0] = '\0';
}

// The configured answer to one question; ICERR_OK when the variable is unset.
LRESULT ConfiguredAnswer(const char* name)
{
    char value[64];
    ReadVariable(name, value, sizeof(value));
    if (value[0] == '\0')
        return ICERR_OK;
    return static_cast<LRESULT>(strtol(value, nullptr, 0));
}

// Whether the configured crash mode is mode.
bool CrashesIn(const char* mode)
{
    char value[16];
    ReadVariable("STANDIN_QV4Z_CRASH", value, sizeof(value));
    return strcmp(value, mode) == 0;
}

bool Missing()
{
    char value[8];
    ReadVariable("STANDIN_QV4Z_MISSING", value, sizeof(value));
    return value[0] == '1' && value[1] == '\0';
}

// Appends one line to the log. The file is opened for appending on every line,
// so that several processes can share one log and a reader sees each line
// complete as soon as the call that it describes has begun.
void AppendLog(const char* line)
{
    char path[MAX_PATH];
    ReadVariable("STANDIN_QV4Z_LOG", path, sizeof(path));
    if (path[0] == '\0')
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    CloseHandle(file);
}

unsigned long long Hex(LPARAM value)
{
    return static_cast<unsigned long long>(static_cast<ULONG_PTR>(value));
}

// A FourCC as its four characters, first character from the lowest byte.
void FourCCText(DWORD code, char text[5])
{
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        text[i] = (c > ' ' && c < 0x7F) ? c : '?';
    }
    text[4] = '\0';
}

void LogMessage(DWORD_PTR driverId, UINT message, LPARAM param1, LPARAM param2, LRESULT opened = 0)
{
    char line[256];
    int length = snprintf(line, sizeof(line), "pid=%lu msg=0x%X id=0x%llX p1=0x%llX p2=0x%llX", GetCurrentProcessId(),
                          message, static_cast<unsigned long long>(driverId), Hex(param1), Hex(param2));
    if (message == DRV_OPEN && param2 != 0) {
        const ICOPEN* open = reinterpret_cast<const ICOPEN*>(param2);
        char type[5];
        char handler[5];
        FourCCText(open->fccType, type);
        FourCCText(open->fccHandler, handler);
        length += snprintf(line + length, sizeof(line) - length, " type=%s handler=%s mode=0x%lX", type, handler,
                           open->dwFlags);
    }
    if (message == DRV_OPEN)
        length += snprintf(line + length, sizeof(line) - length, " opened=0x%llX", Hex(opened));
    snprintf(line + length, sizeof(line) - length, "\n");
    AppendLog(line);
}

// Logs where the fault lies in the DLL, then runs the faulting code.
void Crash(const char* mode, void (*fault)(), void (*end)())
{
    const char* base = reinterpret_cast<const char*>(s_module);
    char line[160];
    snprintf(line, sizeof(line), "pid=%lu fault=%s from=0x%llX to=0x%llX\n", GetCurrentProcessId(), mode,
             Hex(reinterpret_cast<const char*>(fault) - base), Hex(reinterpret_cast<const char*>(end) - base));
    AppendLog(line);
    fault();
}

// Probes memory as old codecs do, under a handler: IsBadReadPtr catches the
// access violation of reading the first page.
void Probe(const char* mode)
{
    if (CrashesIn(mode))
        IsBadReadPtr(reinterpret_cast<const void*>(16), 4);
}

DWORD WINAPI FaultOnThread(void*)
{
    Crash("thread", StandinAccessViolation, StandinAccessViolationEnd);
    return 0;
}

// Sends window a WM_INITDIALOG whose parameter is an object, as C++ lays one
// out, whose every virtual function is ntdll's DbgBreakPoint; room is left
// for the fields that the receiver writes.
void SendBreakingDialog(HWND window)
{
    static void* s_virtuals[64];
    static struct {
        void** virtuals;
        char fields[512];
    } s_object;
    FARPROC breakPoint = GetProcAddress(GetModuleHandleA("ntdll.dll"), "DbgBreakPoint");
    for (void*& function : s_virtuals)
        function = reinterpret_cast<void*>(breakPoint);
    s_object.virtuals = s_virtuals;
    SendMessageA(window, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(&s_object));
}

typedef LRESULT(CALLBACK* DriverFunction)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);
DriverFunction s_wholePath = nullptr;

// The copy at STANDIN_QV4Z_WHOLE's path, loaded, when this is another copy.
DriverFunction WholePathDriver()
{
    char whole[MAX_PATH];
    char own[MAX_PATH] = {};
    ReadVariable("STANDIN_QV4Z_WHOLE", whole, sizeof(whole));
    GetModuleFileNameA(s_module, own, sizeof(own));
    HMODULE copy = whole[0] != '\0' && _stricmp(whole, own) != 0 ? LoadLibraryA(whole) : nullptr;
    return copy != nullptr
               ? reinterpret_cast<DriverFunction>(reinterpret_cast<void*>(GetProcAddress(copy, "DriverProc")))
               : nullptr;
}

// Logs the items of a window's system menu, one line each.
void LogSystemMenu(HWND window)
{
    HMENU menu = window ? GetSystemMenu(window, FALSE) : nullptr;
    if (menu == nullptr)
        return;
    int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        char text[128] = {};
        MENUITEMINFOA item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof(text);
        if (!GetMenuItemInfoA(menu, position, TRUE, &item))
            continue;
        char line[256];
        snprintf(line, sizeof(line), "pid=%lu menuitem=%d of=0x%llX id=0x%X type=0x%X text=%s\n", GetCurrentProcessId(),
                 position, Hex(reinterpret_cast<LPARAM>(window)), item.wID, item.fType, text);
        AppendLog(line);
    }
}

// Both dialogs: log who owns them once they exist, end on OK or Cancel.
INT_PTR CALLBACK StandinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        char line[160];
        snprintf(line, sizeof(line), "pid=%lu dialog=%s hwnd=0x%llX owner=0x%llX\n", GetCurrentProcessId(),
                 reinterpret_cast<const char*>(lParam), Hex(reinterpret_cast<LPARAM>(dialog)),
                 Hex(reinterpret_cast<LPARAM>(GetWindow(dialog, GW_OWNER))));
        AppendLog(line);
        LogSystemMenu(GetWindow(dialog, GW_OWNER));
        if (strcmp(reinterpret_cast<const char*>(lParam), "configure") == 0 && CrashesIn("configure"))
            Crash("configure", StandinAccessViolation, StandinAccessViolationEnd);
        if (strcmp(reinterpret_cast<const char*>(lParam), "configure") == 0 && CrashesIn("thread"))
            CloseHandle(CreateThread(nullptr, 0, FaultOnThread, nullptr, 0, nullptr));
        if (strcmp(reinterpret_cast<const char*>(lParam), "about") == 0 && CrashesIn("overflow"))
            Crash("overflow", StandinOverflowStack, StandinOverflowStackEnd);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

// Shows one of the two dialogs modally, owned by the window the caller gave.
void ShowDialog(int templateId, const char* kind, LPARAM owner)
{
    DialogBoxParamA(s_module, MAKEINTRESOURCEA(templateId), reinterpret_cast<HWND>(owner), StandinDialogProc,
                    reinterpret_cast<LPARAM>(kind));
}

// The question forms of ICM_CONFIGURE and ICM_ABOUT carry -1 as their first
// parameter; only the low 32 bits are compared, so that a 64-bit caller that
// passes 0xFFFFFFFF is understood as well.
bool IsQuestion(LPARAM param1)
{
    return static_cast<DWORD>(param1) == 0xFFFFFFFFu;
}

// DRV_OPEN: a new driver id, or 0 when the compressor plays missing. The
// manager opens a driver twice: first with no ICOPEN record, then with one.
// Both must succeed for ICOpen to give a handle.
LRESULT Open(LPARAM param2)
{
    if (Missing())
        return 0;
    if (param2 != 0)
        reinterpret_cast<ICOPEN*>(param2)->dwError = ICERR_OK;
    return ++s_lastInstanceId;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        s_module = module;
        if (CrashesIn("startup"))
            Crash("startup", StandinAccessViolation, StandinAccessViolationEnd);
        Probe("probe-startup");
        return !CrashesIn("probe-startup");
    }
    return TRUE;
}

// The driver entry point that the compressor manager calls for every message.
extern "C" __declspec(dllexport) LRESULT CALLBACK
    DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2)
{
    if (message == DRV_LOAD)
        s_wholePath = WholePathDriver();
    if (s_wholePath != nullptr)
        return s_wholePath(driverId, driver, message, param1, param2);
    if (message == DRV_OPEN) {
        Probe("probe-open");
        if (CrashesIn("open"))
            Crash("open", StandinIllegalInstruction, StandinIllegalInstructionEnd);
        LRESULT opened = Open(param2);
        LogMessage(driverId, message, param1, param2, opened);
        return opened;
    }
    LogMessage(driverId, message, param1, param2);
    switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_CLOSE:
        return 1;
    case DRV_QUERYCONFIGURE:
        return 1;
    case DRV_CONFIGURE:
        if (CrashesIn("heaplock")) {
            HeapLock(GetProcessHeap());
            Crash("heaplock", StandinAccessViolation, StandinAccessViolationEnd);
        }
        if (CrashesIn("system"))
            SendBreakingDialog(reinterpret_cast<HWND>(param1));
        if (CrashesIn("program"))
            SendMessageA(reinterpret_cast<HWND>(param1), WM_INITDIALOG, 0, 16);
        ShowDialog(IDD_STANDIN_CONFIGURE, "configure", param1);
        return DRVCNF_OK;
    case ICM_CONFIGURE:
        if (IsQuestion(param1))
            return ConfiguredAnswer("STANDIN_QV4Z_CONFIGURE");
        ShowDialog(IDD_STANDIN_CONFIGURE, "configure", param1);
        return ICERR_OK;
    case ICM_ABOUT:
        if (IsQuestion(param1))
            return ConfiguredAnswer("STANDIN_QV4Z_ABOUT");
        if (CrashesIn("about"))
            Crash("about", StandinDivideByZero, StandinDivideByZeroEnd);
        ShowDialog(IDD_STANDIN_ABOUT, "about", param1);
        return ICERR_OK;
    default:
        if (message < DRV_USER)
            return DefDriverProc(driverId, driver, message, param1, param2);
        return ICERR_UNSUPPORTED;
    }
}
