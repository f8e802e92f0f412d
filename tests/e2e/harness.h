// harness.h - drives Ferrotune.exe as a user would: starts it under the
// debugger helper, finds and reads its windows, clicks, uses the system menu,
// and reads the log of the stand-in compressor it talks to.
#ifndef FERROTUNE_TESTS_E2E_HARNESS_H
#define FERROTUNE_TESTS_E2E_HARNESS_H

#include "debuggee.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// How long to wait for something a user would see happen. The machines that
// run the tests are shared and slow, so this is generous; a test that works
// never waits that long.
const DWORD kWaitMs = 60000;

// Polls condition until it holds; false when timeoutMs passes first.
template <class Condition> bool WaitUntil(Condition condition, DWORD timeoutMs = kWaitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(25);
    }
}

// Whether one of the debugger-output lines is exactly line.
bool HasLine(const std::vector<std::string>& lines, const char* line);

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------
// A window's text, read wide, as UTF-8.
std::string WindowText(HWND window);
std::string WindowClass(HWND window);
// Top-level windows of one process (0: of every process) with the given
// caption (null: any caption), in z-order.
std::vector<HWND> TopLevelWindows(DWORD processId, const char* caption);
// Top-level windows of one process that are visible.
std::vector<HWND> VisibleTopLevelWindows(DWORD processId);
// Direct children of a window, in z-order (which is template order for a dialog).
std::vector<HWND> ChildWindows(HWND parent);
// The first direct child of the given class whose text is text, or null.
HWND FindChild(HWND parent, const char* windowClass, const char* text);
// The texts of the visible static controls of a dialog, in template order.
std::vector<std::string> StaticTexts(HWND dialog);

// Clicks a button as the mouse would. Posted, because the click may open a
// modal dialog in the other process, which would hold a sent message.
void Click(HWND button);
// Presses and releases Esc on the control that has the focus in window's thread.
void PressEscape(HWND window);
// Presses F4 with Alt held there.
void PressAltF4(HWND window);
// Posts WM_SYSCOMMAND, as choosing an item of the system menu does.
void PostSystemCommand(HWND window, WPARAM command);
// Minimises a window through its system menu's command and waits until it
// stays minimised; false if it does not.
bool Minimise(HWND window);

// Opens a window's system menu from the keyboard (Alt+Space); true once the
// menu is on screen.
bool OpenSystemMenu(HWND window);
// Presses one key in the window's thread (for a menu that is open there).
void PressKey(HWND window, WPARAM key);

// A top-level window of this process that takes the foreground, so a test can
// see another window take it away. It lives on its own thread, which answers
// the messages that activation sends.
class ForegroundDecoy {
public:
    ForegroundDecoy();
    ~ForegroundDecoy();
    ForegroundDecoy(const ForegroundDecoy&) = delete;
    ForegroundDecoy& operator=(const ForegroundDecoy&) = delete;
    HWND Window() const { return m_window; }
    // Makes the decoy the foreground window; true once it is.
    bool TakeForeground();

private:
    static DWORD WINAPI ThreadMain(void* self);
    HANDLE m_thread = nullptr;
    HANDLE m_ready = nullptr;
    DWORD m_threadId = 0;
    HWND m_window = nullptr;
};

// ---------------------------------------------------------------------------
// The stand-in compressor's log
// ---------------------------------------------------------------------------
// A message the compressor received.
struct CompressorMessage {
    DWORD processId = 0;
    unsigned message = 0;
    unsigned long long driverId = 0; // the instance it went to; 0 before an open
    unsigned long long param1 = 0;
    unsigned long long param2 = 0;
    std::string type;    // of a DRV_OPEN with an ICOPEN record, else ""
    std::string handler; // likewise
    unsigned long mode = 0;
    unsigned long long opened = 0; // a DRV_OPEN's answer: the new driver id, 0 when refused
};
// One item of a menu.
struct MenuItem {
    unsigned id = 0;
    bool separator = false;
    std::string text;
};

// Where the compressor said it was about to fault: the offsets in its DLL
// between which the exception's address lies.
struct FaultSite {
    std::string mode; // the crash mode
    unsigned long long from = 0;
    unsigned long long to = 0;
};

// A dialog the compressor showed.
struct CompressorDialog {
    DWORD processId = 0;
    std::string kind; // "configure" or "about"
    unsigned long long window = 0;
    unsigned long long owner = 0;
};

class CompressorLog {
public:
    CompressorLog(); // a new, empty log file of its own
    ~CompressorLog();
    CompressorLog(const CompressorLog&) = delete;
    CompressorLog& operator=(const CompressorLog&) = delete;
    const std::string& Path() const { return m_path; }
    std::vector<CompressorMessage> Messages() const;
    std::vector<CompressorDialog> Dialogs() const;
    // The system menu of the owner of the compressor's last dialog, as the
    // compressor read it inside the program when that dialog opened.
    std::vector<MenuItem> OwnerSystemMenu() const;
    std::vector<FaultSite> FaultSites() const;
    // The messages whose number is message.
    std::vector<CompressorMessage> Messages(unsigned message) const;
    std::string Text() const; // for failure messages

private:
    std::vector<std::string> Lines() const;
    std::string m_path;
};

// The compressor messages the launcher and the compressor manager use.
const unsigned kDrvOpen = 3;
const unsigned kDrvClose = 4;
const unsigned kDrvConfigure = 7;
const unsigned kIcmConfigure = 0x500A;
const unsigned kIcmAbout = 0x500B;

// ---------------------------------------------------------------------------
// One run of the program
// ---------------------------------------------------------------------------
// How the stand-in compressor behaves for one run. An empty answer leaves its
// variable unset, so the stand-in answers with its default, ICERR_OK.
struct CompressorSetup {
    std::string configureAnswer; // answer to the ICM_CONFIGURE question
    std::string aboutAnswer;     // answer to the ICM_ABOUT question
    bool missing = false;        // refuse to open
    std::string workingFolder;   // the program's current folder (empty: the test's)
    std::string crash;           // where its code faults (STANDIN_QV4Z_CRASH); empty: nowhere
    std::string arguments;       // the program's switches, as on a command line
    bool debugged = true;        // the program runs under the debugger helper; false: as a user starts it
};

const char kDialogCaption[] = "Codec Configuration";

// The full path of the program as shipped, and of its test build, which
// reports some of its own calls and fails on request (testbuild.cpp).
std::string FerrotunePath();
std::string TestBuildPath();

class FerrotuneRun {
public:
    // Starts the program under the debugger with the stand-in set up as given
    // and logging to log; environment adds "NAME=value" entries of its own.
    FerrotuneRun(const CompressorLog& log, const CompressorSetup& setup = CompressorSetup(),
                 const std::string& program = FerrotunePath(), std::vector<std::string> environment = {});
    bool Started() const { return m_started; }
    DWORD StartError() const { return m_process.StartError(); }
    DWORD ProcessId() const { return m_process.ProcessId(); }
    // This run's top-level window with the caption, once it exists and is visible.
    HWND WaitForVisibleWindow(const char* caption, DWORD timeoutMs = kWaitMs);
    // The main dialog, once it is visible; null on timeout.
    HWND WaitForDialog(DWORD timeoutMs = kWaitMs) { return WaitForVisibleWindow(kDialogCaption, timeoutMs); }
    // Waits for the process to end; records whether it ever showed a window.
    bool WaitForExit(DWORD timeoutMs = kWaitMs);
    bool Exited() const { return m_process.Exited(); }
    DWORD ExitCode() const { return m_process.ExitCode(); }
    // Whether a visible top-level window of this process was seen while waiting.
    bool SawVisibleWindow() const { return m_sawVisibleWindow; }
    std::vector<std::string> DebugLines() const { return m_process.DebugLines(); }
    std::string StandardOutput() const { return m_process.StandardOutput(); }

private:
    Debuggee m_process;
    bool m_started = false;
    bool m_sawVisibleWindow = false;
};

// ---------------------------------------------------------------------------
// The installation a scenario runs with
// ---------------------------------------------------------------------------
// The tests' texts are UTF-8, so that a path may hold characters outside the
// ANSI code page; the system is called with wide texts.
std::string Utf8(const WCHAR* text);
std::wstring Wide(const std::string& text);

// A file copied from this program's folder to a place a row names, or a
// folder made there when it has no source.
struct Placed {
    const char* source;
    const char* target;
};

// What a row installs for one run: the vidc.QV4Z entry of the program's own
// registry view, of the other kind's view and of system.ini's [drivers32]
// section (null leaves an entry as the harness installed it, "" removes it),
// files placed for the run, in order, and a DLL of the system folder (its
// name without ".dll") hidden for it: moved aside, and Wine's own copy
// turned off.
struct Installation {
    const char* own = nullptr;
    const char* other = nullptr;
    const char* systemIni = nullptr;
    Placed placed[3] = {};
    const char* hidden = nullptr;
};
const Installation kAsInstalled = {};

// Installs what a row asks for the life of the object, then puts back the
// entries it changed and removes what it placed, so that later scenarios
// find the stand-in installed as before.
class InstalledAs {
public:
    explicit InstalledAs(const Installation& installation);
    ~InstalledAs();
    InstalledAs(const InstalledAs&) = delete;
    InstalledAs& operator=(const InstalledAs&) = delete;

private:
    std::optional<std::string> m_own, m_other, m_systemIni;
    std::vector<std::string> m_placed;
    std::string m_hidden;
};

// ---------------------------------------------------------------------------
// What the program says
// ---------------------------------------------------------------------------
bool Has64BitWindows();
// text with the folders it names put in: "{system}" the system folder of
// programs of this kind as Explorer shows it (SysWOW64 for a 32-bit program
// on 64-bit Windows), "{system32}" the system folder as every program names
// it, "{other}" the system folder of the other kind of program, "{windows}"
// the Windows folder, "{tests}" this program's folder (with its backslash)
// and "{cpu}" its processor, x86 or x64. Written to (forWriting), "{other}"
// is reached the way this program reaches it.
std::string Expand(const char* text, bool forWriting = false);
// String resource id of the program as shipped, read wide, as UTF-8, with
// %1..%9 replaced by the inserts, their folders expanded; "#N" puts in string
// N, with the same inserts.
std::string ProgramText(UINT id, const std::vector<const char*>& inserts = {});

// A report of /check: "name: value" lines; the last field's value runs to
// the end of the text (line ends as LF).
struct CheckReport {
    std::vector<std::pair<std::string, std::string>> fields;
    // The value of the field of that name; "" when there is none.
    std::string Value(const std::string& name) const;
};
CheckReport ParseCheckReport(const std::string& text);
// The verdict words of /check and their exit codes, as the README lists them.
DWORD VerdictExitCode(const std::string& verdict);
// Runs the program with /check and the setup (its arguments are replaced) to
// its end: whether it ended without a window within the wait, with the exit
// code of verdict, with that verdict in the report, and, where message is not
// empty, with message as the report's last field; the report for more checks.
testing::AssertionResult ChecksAs(CompressorSetup setup, const std::string& verdict, const std::string& message,
                                  CheckReport* report = nullptr);

// Every driver instance that the compressor manager opened in the log got
// exactly one DRV_CLOSE, and at least one was opened.
testing::AssertionResult ClosedExactlyOnce(const CompressorLog& log);

// Every scenario starts with no "Codec Configuration" window on the display,
// so that one scenario's leftovers are never taken for another's windows.
class Scenario : public testing::Test {
protected:
    void SetUp() override;
};

#endif
