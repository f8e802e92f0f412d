// crashreport - the box of a codec that crashed, shown by a thread of its own
// while the faulting thread stands still, and the end of the process.
#include "crashreport.h"

#include "crashtexts.h"
#include "diagnosistexts.h"
#include "faultplace.h"
#include "messagetext.h"
#include "missingcall.h"
#include "registration.h"

namespace {

// What the box is made of, set before the first call into the codec.
struct CrashReportSetting {
    HINSTANCE texts;
    WCHAR caption[MAX_PATH];
    HWND owner;
};
CrashReportSetting s_setting = {nullptr, L"", nullptr};

// What the faulting thread hands to the reporting thread.
struct CrashFacts {
    CodecStep step;
    DWORD code;
    void* address;
    HWND owner;
    bool missingCall; // under Wine, the call of a function that a DLL lacks
    MissingCall call;
};
CrashFacts s_crash;
LONG s_reporting = 0;

// The first sentence of the box, by step.
const UINT kStepTexts[] = {
    IDS_CODEC_CRASHED_OPENING,     // CODEC_OPENING
    IDS_CODEC_CRASHED_ANSWERING,   // CODEC_ANSWERING
    IDS_CODEC_CRASHED_CONFIGURING, // CODEC_CONFIGURING
    IDS_CODEC_CRASHED_ABOUT,       // CODEC_SHOWING_ABOUT
    IDS_CODEC_CRASHED_CLOSING,     // CODEC_CLOSING
};

// The codec's module: the one loaded under the file name that the codec is
// registered with, its file into codecFile; null, and codecFile empty, when
// there is none. Only the registration is read: nothing of the
// installation's search runs in the damaged process.
HMODULE CodecModule(WCHAR codecFile[MAX_PATH])
{
    WCHAR name[kRegistrationLength + 1];
    HMODULE module = RegisteredCodecFile(name) ? GetModuleHandleW(name) : nullptr;
    if (module != nullptr && ModuleFile(module, codecFile))
        return module;
    codecFile[0] = L'\0';
    return nullptr;
}

// The box's text: the step, the codec's file when it is known, where the
// exception was raised, and what happens now.
void ComposeReport(MessageText* text)
{
    FaultPlace fault;
    DescribeFault(s_crash.code, s_crash.address, &fault);
    WCHAR codecFile[MAX_PATH];
    const HMODULE codec = CodecModule(codecFile);
    const WCHAR* const inserts[4] = {codecFile, fault.code, fault.offset, fault.file};

    UINT where = IDS_CODEC_CRASH_IN_OTHER_MODULE;
    if (fault.module == nullptr)
        where = IDS_CODEC_CRASH_IN_NO_MODULE;
    else if (codec == nullptr)
        where = IDS_CODEC_CRASH_IN_MODULE;
    else if (fault.module == codec)
        where = IDS_CODEC_CRASH_IN_CODEC;
    text->AppendString(s_setting.texts, kStepTexts[s_crash.step], inserts);
    text->Append(L"\n\n");
    if (codec != nullptr) {
        text->AppendString(s_setting.texts, IDS_CODEC_CRASH_FILE, inserts);
        text->Append(L"\n");
    }
    text->AppendString(s_setting.texts, where, inserts);
    if (s_crash.missingCall) {
        const WCHAR* const call[2] = {s_crash.call.function, s_crash.call.dll};
        text->Append(L"\n");
        text->AppendString(s_setting.texts, IDS_CODEC_CRASH_MISSING_FUNCTION, call, 2);
    }
    text->Append(L"\n\n");
    text->AppendString(s_setting.texts, IDS_CODEC_CRASH_CLOSING, inserts);
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
    static MessageText text; // not on this thread's small stack
    ComposeReport(&text);
    // The dialog owns the box only when nothing of the box's waits for the
    // dialog's stopped thread: MessageBox disables an owner that is still
    // enabled, and the dialog manager enables it again when the box ends.
    HWND owner = s_crash.owner;
    if (owner != nullptr && ((GetWindowLongPtrW(owner, GWL_STYLE) & WS_DISABLED) == 0 ||
                             SetWindowsHookExW(WH_CALLWNDPROC, EndOnAnswer, nullptr, GetCurrentThreadId()) == nullptr))
        owner = nullptr;
    MessageBoxW(owner, text.Text(), s_setting.caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    TerminateProcess(GetCurrentProcess(), kCodecCrashExitCode);
    return 0;
}

} // namespace

void PrepareCrashReport(HINSTANCE texts, const char* caption, HWND owner)
{
    s_setting.texts = texts;
    if (MultiByteToWideChar(CP_ACP, 0, caption, -1, s_setting.caption, ARRAYSIZE(s_setting.caption)) == 0)
        s_setting.caption[0] = L'\0';
    s_setting.owner = owner;
}

// Runs on the faulting thread, which never goes on: it disables the dialog,
// so that the box can be owned by it, hands the report to a new thread and
// waits for that thread to end the process. A stack that has overflowed has
// no room for the dialog's messages, so then the box is owned only by a
// dialog that the codec's own dialog has disabled already. A second crash,
// while the first is reported, waits for the process to end.
void ReportCrash(CodecStep step, const EXCEPTION_RECORD& record)
{
    if (__sync_lock_test_and_set(&s_reporting, 1) != 0) {
        for (;;)
            Sleep(INFINITE);
    }
    s_crash.step = step;
    s_crash.code = record.ExceptionCode;
    s_crash.address = record.ExceptionAddress;
    s_crash.missingCall = ReadMissingCall(record, &s_crash.call);
    s_crash.owner = s_setting.owner;
    if (s_crash.owner != nullptr && record.ExceptionCode != STATUS_STACK_OVERFLOW)
        EnableWindow(s_crash.owner, FALSE);
    HANDLE thread = CreateThread(nullptr, 0, ShowBoxAndEnd, nullptr, 0, nullptr);
    if (thread != nullptr)
        WaitForSingleObject(thread, INFINITE);
    else
        ShowBoxAndEnd(nullptr);
    TerminateProcess(GetCurrentProcess(), kCodecCrashExitCode);
    for (;;)
        Sleep(INFINITE);
}
