// codecguard - the bracket around calls into the codec: a frame-based
// exception handler, which GCC has no __try for.
#include "codecguard.h"

#include "callchain.h"
#include "crashreport.h"

// The handler that the system calls for an exception raised inside a bracketed
// call that no handler nearer to the fault has taken.
extern "C" EXCEPTION_DISPOSITION CodecCallHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                  void* dispatch) asm("codec_call_handler") __attribute__((used));

// On x64 the bracket is a small function whose unwind information names the
// handler; it keeps the step in its frame, 32 bytes above the frame's base
// (the establisher frame), past the callee's home area. On x86 it is a
// registration record on the stack, linked into the thread's handler list
// (fs:[0]) for the call; the step follows the record's two words.
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

// The call into the codec that is in progress, for the unhandled-exception
// filter; calls nest when the codec's dialog lets the program's code run.
struct CallInProgress {
    LONG depth;
    CodecStep step;
};
CallInProgress s_call = {0, CODEC_OPENING};

LPTOP_LEVEL_EXCEPTION_FILTER s_previousFilter = nullptr;

// The last resort, for an exception that no frame-based handler took, on any
// thread. It is the codec's crash when a call into the codec is in progress
// and the codec's code raised it: on 64-bit Windows a fault in a window
// procedure that the system calls back from the kernel cannot unwind to the
// bracket and comes here, and so does a fault on a thread that the codec
// started. A second exception while a crash is reported comes here too.
// Anything else goes to the filter that was there before.
LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* exception)
{
    if (CrashReportUnderWay() ||
        (s_call.depth > 0 && Blame(*exception->ContextRecord, CodecModule(), nullptr) == CULPRIT_CODEC))
        ReportCrash(s_call.step, *exception->ExceptionRecord);
    return s_previousFilter != nullptr ? s_previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

// The codec has crashed when the code that raised the exception, judged by
// the calling frames, is the codec's (or when no frame tells). An unwinding,
// towards a handler further out, passes on; so does an exception raised by
// the program's own code, or by a system DLL that it called, for the system
// to report: a C++ exception of the program's is raised in a system DLL
// called from the program's runtime.
extern "C" EXCEPTION_DISPOSITION CodecCallHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void*)
{
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
        return ExceptionContinueSearch;
    if (CrashReportUnderWay() || Blame(*context, CodecModule(), frame) != CULPRIT_PROGRAM)
        ReportCrash(StepOf(frame), *record);
    return ExceptionContinueSearch;
}

LRESULT CodecCall(CodecStep step, CodecCallBody body, void* context)
{
    const CodecStep outer = s_call.step;
    s_call.step = step;
    ++s_call.depth;
    const LRESULT result = CodecGuardedCall(body, context, step);
    --s_call.depth;
    s_call.step = outer;
    return result;
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
    s_previousFilter = SetUnhandledExceptionFilter(ReportUnhandled);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
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
    ULONG reserve = 32 * 1024; // for the dispatcher and the report's start
    if (guarantee != nullptr)
        guarantee(&reserve);
}
