// codeccrash - the bracket around calls into the codec, and the box of a codec
// that crashed.
#include "codeccrash.h"

#include "codecfile.h"
#include "framework.h"
#include "missingcodec.h"
#include "resource.h"

#include <string.h>

// The handler that the system calls for an exception raised inside a bracketed
// call that no handler nearer to the fault has taken.
extern "C" EXCEPTION_DISPOSITION CodecCallHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                  void* dispatch) asm("codec_call_handler") __attribute__((used));

// GCC has no __try. On x64 the bracket is a small function whose unwind
// information names the handler; it keeps the step in its frame, 32 bytes
// above the frame's base (the establisher frame), past the callee's home area.
// On x86 it is a registration record on the stack, linked into the thread's
// handler list (fs:[0]) for the call; the step follows the record's two words.
#if defined(_WIN64)
extern "C" LRESULT CodecGuardedCall(CodecCallBody body, void* context, ULONG_PTR step) asm("codec_guarded_call");
asm(".text\n"
    ".def codec_guarded_call; .scl 3; .type 32; .endef\n"
    ".seh_proc codec_guarded_call\n"
    "codec_guarded_call:\n"
    "    subq $40, %rsp\n"
    "    .seh_stackalloc 40\n"
    "    .seh_endprologue\n"
    "    movq %r8, 32(%rsp)\n"
    "    movq %rcx, %rax\n"
    "    movq %rdx, %rcx\n"
    "    call *%rax\n"
    // The return address must not be the epilogue's first instruction, where
    // the system takes the function as returning and calls no handler.
    "    nop\n"
    "    addq $40, %rsp\n"
    "    ret\n"
    "    .seh_handler codec_call_handler, @except\n"
    ".seh_endproc\n");

static CodecStep StepOf(void* frame)
{
    return static_cast<CodecStep>(*reinterpret_cast<ULONG_PTR*>(static_cast<char*>(frame) + 32));
}
#else
struct GuardRecord {
    GuardRecord* next;
    void* handler;
    ULONG_PTR step;
};

static LRESULT CodecGuardedCall(CodecCallBody body, void* context, ULONG_PTR step)
{
    GuardRecord record = {nullptr, reinterpret_cast<void*>(&CodecCallHandler), step};
    asm volatile("movl %%fs:0, %0" : "=r"(record.next));
    asm volatile("movl %0, %%fs:0" : : "r"(&record) : "memory");
    const LRESULT result = body(context);
    asm volatile("movl %0, %%fs:0" : : "r"(record.next) : "memory");
    return result;
}

static CodecStep StepOf(void* frame)
{
    return static_cast<CodecStep>(static_cast<GuardRecord*>(frame)->step);
}
#endif

namespace {

// ---------------------------------------------------------------------------
// The box's text
// ---------------------------------------------------------------------------
// value as "0x" and digits upper-case hexadecimal digits.
void HexText(ULONG_PTR value, int digits, char* text)
{
    static const char kDigits[] = "0123456789ABCDEF";
    text[0] = '0';
    text[1] = 'x';
    for (int i = 0; i < digits; ++i)
        text[2 + i] = kDigits[(value >> (4 * (digits - 1 - i))) & 0xF];
    text[2 + digits] = '\0';
}

// The box's text, made in a fixed buffer: the heap of a process whose codec
// has just crashed is better left alone. A text too long for it is cut.
class BoxText {
public:
    BoxText() : m_length(0) { m_text[0] = '\0'; }
    const char* Text() const { return m_text; }
    void Append(const char* part, size_t length)
    {
        if (length > sizeof(m_text) - 1 - m_length)
            length = sizeof(m_text) - 1 - m_length;
        memcpy(m_text + m_length, part, length);
        m_length += length;
        m_text[m_length] = '\0';
    }
    void Append(const char* part) { Append(part, strlen(part)); }
    // String resource id with %1..%4 replaced by the inserts.
    void AppendString(UINT id, const char* const inserts[4])
    {
        char form[512];
        if (LoadStringA(FwResourceHandle(), id, form, sizeof(form)) <= 0)
            return;
        for (const char* at = form; *at != '\0'; ++at) {
            if (at[0] == '%' && at[1] >= '1' && at[1] <= '4')
                Append(inserts[*++at - '1']);
            else
                Append(at, 1);
        }
    }

private:
    char m_text[4 * MAX_PATH + 1024];
    size_t m_length;
};

// module's file as Explorer shows it, in the ANSI code page; false when there
// is none.
bool ModuleFile(HMODULE module, char file[MAX_PATH])
{
    WCHAR wide[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, wide, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    ShowAsExplorer(wide);
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, file, MAX_PATH, nullptr, nullptr) != 0;
}

// The first sentence of the box, by step.
const UINT kStepTexts[] = {
    IDS_CODEC_CRASHED_OPENING,     // CODEC_OPENING
    IDS_CODEC_CRASHED_ANSWERING,   // CODEC_ANSWERING
    IDS_CODEC_CRASHED_CONFIGURING, // CODEC_CONFIGURING
    IDS_CODEC_CRASHED_ABOUT,       // CODEC_SHOWING_ABOUT
    IDS_CODEC_CRASHED_CLOSING,     // CODEC_CLOSING
};

// The codec's module: the one loaded under the file name that the codec is
// registered with; null, and codecFile empty, when there is none. Only the
// registration is read: nothing of the installation's search runs in the
// damaged process.
HMODULE CodecModule(char codecFile[MAX_PATH])
{
    codecFile[0] = '\0';
    WCHAR name[MAX_PATH + 1];
    HMODULE module = RegisteredCodecFile(name) ? GetModuleHandleW(name) : nullptr;
    if (module != nullptr && ModuleFile(module, codecFile))
        return module;
    codecFile[0] = '\0';
    return nullptr;
}

// ---------------------------------------------------------------------------
// Reporting
// ---------------------------------------------------------------------------
// What the faulting thread hands to the reporting thread.
struct Report {
    CodecStep step;
    DWORD code;
    void* address;
    HWND owner;
};
Report s_report;
LONG s_reporting = 0;

// The launcher's dialog while it exists; null before and after.
HWND MainDialog()
{
    CWinApp* app = FwGetApp();
    return app != nullptr && app->m_pMainWnd != nullptr ? app->m_pMainWnd->m_hWnd : nullptr;
}

// Ends the process as soon as the box is answered, on the box's thread, before
// the dialog manager ends the box: it would enable the box's owner first,
// which waits for the owner's thread, and that thread is stopped.
LRESULT CALLBACK EndOnAnswer(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_COMMAND &&
        (LOWORD(call->wParam) == IDOK || LOWORD(call->wParam) == IDCANCEL))
        TerminateProcess(GetCurrentProcess(), kCodecCrashExitCode);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The reporting thread: shows the box, then ends the process.
DWORD WINAPI ShowBoxAndEnd(void*)
{
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = s_report.code;
    record.ExceptionAddress = s_report.address;
    CodecFault fault;
    DescribeFault(record, &fault);
    char codecFile[MAX_PATH];
    const HMODULE codec = CodecModule(codecFile);
    const char* const inserts[4] = {codecFile, fault.code, fault.offset, fault.file};

    UINT where = IDS_CODEC_CRASH_IN_OTHER_MODULE;
    if (fault.module == nullptr)
        where = IDS_CODEC_CRASH_IN_NO_MODULE;
    else if (codec == nullptr)
        where = IDS_CODEC_CRASH_IN_MODULE;
    else if (fault.module == codec)
        where = IDS_CODEC_CRASH_IN_CODEC;
    BoxText text;
    text.AppendString(kStepTexts[s_report.step], inserts);
    text.Append("\n\n");
    if (codec != nullptr) {
        text.AppendString(IDS_CODEC_CRASH_FILE, inserts);
        text.Append("\n");
    }
    text.AppendString(where, inserts);
    text.Append("\n\n");
    text.AppendString(IDS_CODEC_CRASH_CLOSING, inserts);

    // The dialog owns the box only when nothing of the box's waits for the
    // dialog's stopped thread: MessageBox disables an owner that is still
    // enabled, and the dialog manager enables it again when the box ends.
    HWND owner = s_report.owner;
    if (owner != nullptr && ((GetWindowLongPtrA(owner, GWL_STYLE) & WS_DISABLED) == 0 ||
                             SetWindowsHookExA(WH_CALLWNDPROC, EndOnAnswer, nullptr, GetCurrentThreadId()) == nullptr))
        owner = nullptr;
    const char* caption = FwGetApp() != nullptr ? FwGetApp()->m_pszAppName : nullptr;
    MessageBoxA(owner, text.Text(), caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    TerminateProcess(GetCurrentProcess(), kCodecCrashExitCode);
    return 0;
}

// Runs on the faulting thread, which never goes on: it disables the dialog,
// so that the box can be owned by it, hands the report to a new thread and
// waits for that thread to end the process. A stack that has overflowed has
// no room for the dialog's messages, so then the box is owned only by a
// dialog that the codec's own dialog has disabled already. A second crash,
// while the first is reported, waits for the process to end.
[[noreturn]] void Report(CodecStep step, const EXCEPTION_RECORD& record)
{
    if (__sync_lock_test_and_set(&s_reporting, 1) != 0) {
        for (;;)
            Sleep(INFINITE);
    }
    s_report.step = step;
    s_report.code = record.ExceptionCode;
    s_report.address = record.ExceptionAddress;
    s_report.owner = MainDialog();
    if (s_report.owner != nullptr && record.ExceptionCode != STATUS_STACK_OVERFLOW)
        EnableWindow(s_report.owner, FALSE);
    HANDLE thread = CreateThread(nullptr, 0, ShowBoxAndEnd, nullptr, 0, nullptr);
    if (thread != nullptr)
        WaitForSingleObject(thread, INFINITE);
    else
        ShowBoxAndEnd(nullptr);
    TerminateProcess(GetCurrentProcess(), kCodecCrashExitCode);
    for (;;)
        Sleep(INFINITE);
}

// Whether address lies in the program's own module.
bool InProgram(const void* address)
{
    MEMORY_BASIC_INFORMATION memory;
    return VirtualQuery(address, &memory, sizeof(memory)) != 0 && memory.AllocationBase == GetModuleHandleA(nullptr);
}

} // namespace

extern "C" EXCEPTION_DISPOSITION CodecCallHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*)
{
    // An unwinding, towards a handler further out, passes on; so does an
    // exception raised in the program's own code, for the system to report.
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
        InProgram(record->ExceptionAddress))
        return ExceptionContinueSearch;
    Report(StepOf(frame), *record);
}

LRESULT CodecCall(CodecStep step, CodecCallBody body, void* context)
{
    return CodecGuardedCall(body, context, step);
}

void PrepareForCodecCrashes()
{
    // Looked up at run time, in kernel32: GetProcessUserModeExceptionPolicy
    // and SetProcessUserModeExceptionPolicy (Windows 7 SP1 and later; an
    // update brought them to earlier systems), whose bit 0,
    // PROCESS_CALLBACK_FILTER_ENABLED, is the filter that swallows; and
    // SetThreadStackGuarantee (Windows Vista, and the 64-bit Windows XP).
    typedef BOOL(WINAPI * GetPolicy)(DWORD*);
    typedef BOOL(WINAPI * SetPolicy)(DWORD);
    typedef BOOL(WINAPI * SetGuarantee)(ULONG*);
    const DWORD kCallbackFilterEnabled = 0x1;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return;
    GetPolicy get = reinterpret_cast<GetPolicy>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GetProcessUserModeExceptionPolicy")));
    SetPolicy set = reinterpret_cast<SetPolicy>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessUserModeExceptionPolicy")));
    DWORD flags = 0;
    if (get != nullptr && set != nullptr && get(&flags))
        set(flags & ~kCallbackFilterEnabled);
    SetGuarantee guarantee =
        reinterpret_cast<SetGuarantee>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadStackGuarantee")));
    ULONG reserve = 32 * 1024; // for the dispatcher and CreateThread in Report
    if (guarantee != nullptr)
        guarantee(&reserve);
}

void DescribeFault(const EXCEPTION_RECORD& record, CodecFault* fault)
{
    const ULONG_PTR address = reinterpret_cast<ULONG_PTR>(record.ExceptionAddress);
    fault->module = nullptr;
    fault->file[0] = '\0';
    MEMORY_BASIC_INFORMATION memory;
    if (VirtualQuery(record.ExceptionAddress, &memory, sizeof(memory)) != 0 && memory.Type == MEM_IMAGE) {
        HMODULE module = static_cast<HMODULE>(memory.AllocationBase);
        if (ModuleFile(module, fault->file))
            fault->module = module;
        else
            fault->file[0] = '\0';
    }
    HexText(record.ExceptionCode, 8, fault->code);
    if (fault->module != nullptr)
        HexText(address - reinterpret_cast<ULONG_PTR>(fault->module), 8, fault->offset);
    else
        HexText(address, 2 * sizeof(void*), fault->offset);
}
