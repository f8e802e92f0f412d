// crashreport - the box of a codec that crashed, shown by a thread made for
// it before the codec was first called, a deadline for it, and the end of the
// process.
#include "crashreport.h"

#include "crashtexts.h"
#include "diagnosistexts.h"
#include "faultplace.h"
#include "messagetext.h"
#include "missingcall.h"
#include "registration.h"

#include <wchar.h>

namespace {

const UINT kFirstText = IDS_CODEC_CRASHED_OPENING;
const UINT kTextCount = IDS_CODEC_CRASH_CLOSING - IDS_CODEC_CRASHED_OPENING + 1;
// The stacks reserved for the two threads: the reporting thread runs the
// message box, the deadline thread only waits.
const SIZE_T kReportingStack = 256 * 1024;
const SIZE_T kDeadlineStack = 64 * 1024;
// How often the box's thread is asked whether the box is up.
const UINT kShownTickMs = 100;

// What the report is made of, prepared before the first call into the codec.
struct Prepared {
    // The strings of crashtexts.h: a look-up of resources at the crash could
    // wait for the loader's lock.
    WCHAR texts[kTextCount][512];
    WCHAR missingFunction[512]; // the line on a call of a function that a DLL lacks
    const WCHAR* caption;
    HWND owner;        // the dialog, which owns the box
    DWORD ownerThread; // the dialog's thread
    // The names the codec's module may be loaded under: the registered value
    // without the blanks around it, which Windows loads whole, and the text
    // before its first space, which Wine loads.
    WCHAR names[2][kRegistrationLength + 1];
    CrashSink sink;  // in place of the box; null: the box
    HANDLE crashed;  // a crash is reported: the deadline runs from here
    HANDLE recorded; // the faulting thread has recorded the facts
    HANDLE shown;    // the box is up and painted
    DWORD reportingThread;
};
Prepared s_prepared;

// What the faulting thread records.
struct CrashFacts {
    CodecStep step;
    DWORD code;
    const void* address;
    bool named; // fault, codec and codecFile are filled in
    FaultPlace fault;
    HMODULE codec;
    WCHAR codecFile[MAX_PATH];
    bool missingCall; // under Wine, the call of a function that a DLL lacks
    MissingCall call;
};
CrashFacts s_crash;
LONG s_reporting = 0;
HMODULE s_codecModule = nullptr;
HWND s_box = nullptr;
MessageText s_text;

// The first sentence of the box, by step.
const UINT kStepTexts[] = {
    IDS_CODEC_CRASHED_OPENING,     // CODEC_OPENING
    IDS_CODEC_CRASHED_ANSWERING,   // CODEC_ANSWERING
    IDS_CODEC_CRASHED_CONFIGURING, // CODEC_CONFIGURING
    IDS_CODEC_CRASHED_ABOUT,       // CODEC_SHOWING_ABOUT
    IDS_CODEC_CRASHED_CLOSING,     // CODEC_CLOSING
};

const WCHAR* Text(UINT id)
{
    return s_prepared.texts[id - kFirstText];
}

[[noreturn]] void End()
{
    TerminateProcess(GetCurrentProcess(), kCodecCrashExitCode);
    for (;;)
        Sleep(INFINITE);
}

// The registration as the compressor manager reads it, into the names.
void ReadCodecNames()
{
    Registration registration;
    if (!ReadManagerRegistration(&registration) || registration.notText)
        return;
    TrimBlanks(registration.value, s_prepared.names[0]);
    const WCHAR* space = wcschr(s_prepared.names[0], L' ');
    if (space != nullptr) {
        wmemcpy(s_prepared.names[1], s_prepared.names[0], space - s_prepared.names[0]);
        s_prepared.names[1][space - s_prepared.names[0]] = L'\0';
    }
}

// The fault's module and the codec's file, as the box names them. A module's
// file name is read under the loader's lock, which the faulting thread may
// hold itself: so that thread names them, unless its stack has overflowed.
void NameModules()
{
    DescribeFault(s_crash.code, s_crash.address, &s_crash.fault);
    s_crash.codec = CodecModule();
    if (s_crash.codec != nullptr && !ModuleFile(s_crash.codec, s_crash.codecFile))
        s_crash.codec = nullptr;
    s_crash.named = true;
}

// The box's text: the step, the codec's file when it is known, where the
// exception was raised, and what happens now.
void ComposeReport(MessageText* text)
{
    const FaultPlace& fault = s_crash.fault;
    const WCHAR* const inserts[4] = {s_crash.codecFile, fault.code, fault.offset, fault.file};
    UINT where = IDS_CODEC_CRASH_IN_OTHER_MODULE;
    if (fault.module == nullptr)
        where = IDS_CODEC_CRASH_IN_NO_MODULE;
    else if (s_crash.codec == nullptr)
        where = IDS_CODEC_CRASH_IN_MODULE;
    else if (fault.module == s_crash.codec)
        where = IDS_CODEC_CRASH_IN_CODEC;
    text->AppendForm(Text(kStepTexts[s_crash.step]), inserts);
    text->Append(L"\n\n");
    if (s_crash.codec != nullptr) {
        text->AppendForm(Text(IDS_CODEC_CRASH_FILE), inserts);
        text->Append(L"\n");
    }
    text->AppendForm(Text(where), inserts);
    if (s_crash.missingCall) {
        const WCHAR* const call[2] = {s_crash.call.function, s_crash.call.dll};
        text->Append(L"\n");
        text->AppendForm(s_prepared.missingFunction, call, 2);
    }
    text->Append(L"\n\n");
    text->AppendForm(Text(IDS_CODEC_CRASH_CLOSING), inserts);
}

// Whether a message to the box answers it: a command of its buttons, sent
// (a click, Enter, Esc) or posted (the dialog manager posts IDCANCEL for
// WM_CLOSE: the title bar's button, Alt+F4), or WM_CLOSE itself.
bool Answers(UINT message, WPARAM wParam)
{
    return message == WM_CLOSE || (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL));
}

// The hooks on the box's thread end the process as soon as the box is
// answered, before the dialog manager ends the box: it would enable the
// box's owner and activate it again, which waits for the owner's thread,
// and that thread is stopped.
LRESULT CALLBACK WatchSent(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION) {
        if (call->message == WM_INITDIALOG && s_box == nullptr)
            s_box = call->hwnd;
        if (Answers(call->message, call->wParam))
            End();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The messages the box's loop takes: posted answers, and the thread's timer,
// whose WM_TIMER comes only when nothing else waits, not even a WM_PAINT: with
// the box visible, it has painted, and the deadline is called off.
LRESULT CALLBACK WatchPosted(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION) {
        if (Answers(message->message, message->wParam))
            End();
        if (message->message == WM_TIMER && message->hwnd == nullptr && s_box != nullptr && IsWindowVisible(s_box))
            SetEvent(s_prepared.shown);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The reporting thread: its hooks in place, it waits for a crash, then shows
// the box. The dialog owns the box only when nothing of the box's waits for
// the dialog's stopped thread: MessageBox disables an owner that is still
// enabled, and only the hooks end the process before the box is ended.
DWORD WINAPI ShowReport(void*)
{
    const DWORD thread = GetCurrentThreadId();
    const bool sent = SetWindowsHookExW(WH_CALLWNDPROC, WatchSent, nullptr, thread) != nullptr;
    const bool posted = SetWindowsHookExW(WH_GETMESSAGE, WatchPosted, nullptr, thread) != nullptr;
    WaitForSingleObject(s_prepared.recorded, INFINITE);
    if (!s_crash.named)
        NameModules();
    ComposeReport(&s_text);
    if (s_prepared.sink != nullptr) {
        const FaultPlace& fault = s_crash.fault;
        const CrashDescription crash = {s_crash.step, fault.code,        fault.file,
                                        fault.offset, s_crash.codecFile, s_text.Text()};
        s_prepared.sink(crash);
        End();
    }
    HWND owner = s_prepared.owner;
    if (owner != nullptr && (!sent || !posted || (GetWindowLongPtrW(owner, GWL_STYLE) & WS_DISABLED) == 0))
        owner = nullptr;
    if (!posted || SetTimer(nullptr, 0, kShownTickMs, nullptr) == 0)
        SetEvent(s_prepared.shown); // nothing could tell
    MessageBoxW(owner, s_text.Text(), s_prepared.caption, MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    End();
}

// The deadline thread: from the crash on, the box has kBoxDeadlineMs to come
// up. Kernel waits only, which neither lock of a damaged process can hold.
DWORD WINAPI EndAtDeadline(void*)
{
    WaitForSingleObject(s_prepared.crashed, INFINITE);
    if (WaitForSingleObject(s_prepared.shown, kBoxDeadlineMs) != WAIT_OBJECT_0)
        End();
    return 0;
}

// A thread that raises an exception while a crash is reported: the report
// goes on without it, and it waits for the end. On the reporting thread no
// box can come any more, and the process ends at once.
[[noreturn]] void WaitForTheEnd()
{
    if (s_prepared.crashed == nullptr || GetCurrentThreadId() == s_prepared.reportingThread)
        End();
    SetEvent(s_prepared.crashed);
    for (;;)
        Sleep(INFINITE);
}

HANDLE NewEvent()
{
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

} // namespace

void PrepareCrashReport(HINSTANCE texts, const WCHAR* caption, HWND owner, CrashSink sink)
{
    if (s_prepared.crashed != nullptr)
        return;
    for (UINT i = 0; i < kTextCount; ++i) {
        if (LoadStringW(texts, kFirstText + i, s_prepared.texts[i], ARRAYSIZE(s_prepared.texts[i])) <= 0)
            s_prepared.texts[i][0] = L'\0';
    }
    if (LoadStringW(texts, IDS_CODEC_CRASH_MISSING_FUNCTION, s_prepared.missingFunction,
                    ARRAYSIZE(s_prepared.missingFunction)) <= 0)
        s_prepared.missingFunction[0] = L'\0';
    s_prepared.caption = caption;
    s_prepared.sink = sink;
    s_prepared.owner = owner;
    s_prepared.ownerThread = GetCurrentThreadId();
    ReadCodecNames();
    s_prepared.recorded = NewEvent();
    s_prepared.shown = NewEvent();
    HANDLE crashed = NewEvent();
    if (s_prepared.recorded == nullptr || s_prepared.shown == nullptr || crashed == nullptr)
        return;
    s_prepared.crashed = crashed;
    HANDLE reporting = CreateThread(nullptr, kReportingStack, ShowReport, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                    &s_prepared.reportingThread);
    HANDLE deadline =
        CreateThread(nullptr, kDeadlineStack, EndAtDeadline, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    // Without both threads a crash ends the process at once, without the box.
    if (reporting == nullptr || deadline == nullptr)
        s_prepared.crashed = nullptr;
    if (reporting != nullptr)
        CloseHandle(reporting);
    if (deadline != nullptr)
        CloseHandle(deadline);
}

HMODULE CodecModule()
{
    for (int i = 0; i < 2 && s_codecModule == nullptr; ++i) {
        if (s_prepared.names[i][0] != L'\0')
            s_codecModule = GetModuleHandleW(s_prepared.names[i]);
    }
    return s_codecModule;
}

bool CrashReportUnderWay()
{
    return s_reporting != 0;
}

// On the faulting thread. It arms the deadline first, then records the facts;
// it disables the dialog, so that the box can be owned by it, unless the
// dialog belongs to another thread (whose answer it would wait for) or the
// stack has overflowed (no room for the dialog's messages): then the box is
// owned only by a dialog that the codec's own dialog has disabled already.
void ReportCrash(CodecStep step, const EXCEPTION_RECORD& record)
{
    if (__sync_lock_test_and_set(&s_reporting, 1) != 0 || s_prepared.crashed == nullptr)
        WaitForTheEnd();
    SetEvent(s_prepared.crashed);
    s_crash.step = step;
    s_crash.code = record.ExceptionCode;
    s_crash.address = record.ExceptionAddress;
    s_crash.missingCall = ReadMissingCall(record, &s_crash.call);
    if (record.ExceptionCode != STATUS_STACK_OVERFLOW) {
        NameModules();
        if (s_prepared.owner != nullptr && GetCurrentThreadId() == s_prepared.ownerThread)
            EnableWindow(s_prepared.owner, FALSE);
    }
    SetEvent(s_prepared.recorded);
    for (;;)
        Sleep(INFINITE);
}
