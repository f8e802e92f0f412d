// A compressor whose own code crashes while the program is inside a call into
// it: the box that names the codec, the step and the fault; the process's end
// with its own exit code; and a next start that works. A crash in the codec's
// start-up, which the loader catches, is said in the "Codec not detected" box;
// a fault in the program's own code is left to the system.
#include "crashtexts.h"
#include "diagnosistexts.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const int kConfigureButton = 1000;
const int kAboutCodecButton = 1001;
// The exit code of a program that a codec's crash ended (README).
const DWORD kCodecCrashExitCode = 0xC0DE;

enum Outcome {
    CRASH_BOX,      // the crash box, then the process ends with kCodecCrashExitCode
    NOT_DETECTED,   // the "Codec not detected" box, then the dialog without a codec
    SYSTEM_HANDLES, // no box: the process ends as the system ends a program that crashed
    ENDS,           // the process ends with kCodecCrashExitCode within seconds, with the box or without it
    OPENS,          // no box: the dialog with the codec
};

// How the user answers the box.
enum Answer { ANSWER_OK, ANSWER_CLOSE_BUTTON, ANSWER_ESCAPE, ANSWER_ALT_F4 };

struct Crash {
    const char* name;
    const char* mode; // where the stand-in faults
    int button;       // clicked once the dialog shows; 0: the fault comes while the program starts
    Outcome outcome;
    UINT step;        // the box's first sentence (CRASH_BOX), or its paragraph (NOT_DETECTED)
    const char* code; // the exception's code
    Answer answer = ANSWER_OK;
    Installation installation = {}; // the codec's file where the row names it (own: its registration)
    bool refuses = false;           // the stand-in refuses to open
    bool debugged = true;           // the program runs under the debugger helper
    // The folder the program starts in (that of a helper DLL the codec needs),
    // and what the codec's crash calls that the helper lacks: the function
    // and the DLL (Wine's exception for such a call names them).
    const char* workingFolder = nullptr;
    const char* function = nullptr;
    const char* dll = nullptr;
};

void PrintTo(const Crash& row, std::ostream* out)
{
    *out << row.name;
}

// How long the program may take to end by itself after a crash that shows
// no box: its deadline is a few seconds, this leaves room for slow machines.
const DWORD kEndsWithinMs = 20000;

// The codec's file registered by a path with a space (Wine loads the text
// before it, with ".dll" added), and in a folder named in Cyrillic ("Кодек").
const char kCodecWithSpace[] = "{tests}crash codec\\standin_qv4z.dll";
const Installation kWithASpace = {
    kCodecWithSpace,
    nullptr,
    nullptr,
    {{"standin_qv4z.dll", "{tests}crash.dll"}, {nullptr, "{tests}crash codec"}, {"standin_qv4z.dll", kCodecWithSpace}}};
const char kCyrillicFolder[] = "{tests}\xD0\x9A\xD0\xBE\xD0\xB4\xD0\xB5\xD0\xBA";
const char kCyrillicCodec[] = "{tests}\xD0\x9A\xD0\xBE\xD0\xB4\xD0\xB5\xD0\xBA\\standin_qv4z.dll";
const Installation kInCyrillic = {
    kCyrillicCodec, nullptr, nullptr, {{nullptr, kCyrillicFolder}, {"standin_qv4z.dll", kCyrillicCodec}}};
const Installation kLackingHelper = {"{tests}lacking_qv4z.dll"};

const Crash kCrashes[] = {
    {"AccessViolationInStartUp", "startup", 0, NOT_DETECTED, IDS_CODEC_CRASHED_STARTING, "0xC0000005"},
    {"IllegalInstructionInDriverOpen", "open", 0, CRASH_BOX, IDS_CODEC_CRASHED_OPENING, "0xC000001D"},
    {"AccessViolationInTheSettingsDialog", "configure", kConfigureButton, CRASH_BOX, IDS_CODEC_CRASHED_CONFIGURING,
     "0xC0000005"},
    {"DivisionByZeroInAbout", "about", kAboutCodecButton, CRASH_BOX, IDS_CODEC_CRASHED_ABOUT, "0xC0000094"},
    {"StackOverflowInTheAboutBox", "overflow", kAboutCodecButton, CRASH_BOX, IDS_CODEC_CRASHED_ABOUT, "0xC00000FD"},
    // Under Wine a codec whose helper lacks a function it imports loads, and
    // the call raises Wine's exception in ntdll; the box names the function.
    {"CallOfAFunctionTheHelperLacks", "lacking", 0, CRASH_BOX, IDS_CODEC_CRASHED_OPENING, "0x80000100", ANSWER_OK,
     kLackingHelper, false, true, "{tests}broken", "Qv4zHelperNewer", "qv4zhelper.dll"},
    // An access violation in the program's dialog procedure, inside DRV_CONFIGURE.
    {"AccessViolationInTheProgram", "program", kConfigureButton, SYSTEM_HANDLES, 0, "0xC0000005"},
    // A breakpoint in ntdll.dll, which the program's dialog procedure called:
    // the program's too. Run without the debugger, which would take it.
    {"BreakpointInASystemDllThatTheProgramCalled", "system", kConfigureButton, SYSTEM_HANDLES, 0, "0x80000003",
     ANSWER_OK, kAsInstalled, false, false},
    // Every answer to the box ends the process.
    {"BoxClosedWithTheTitleBarButton", "configure", kConfigureButton, CRASH_BOX, IDS_CODEC_CRASHED_CONFIGURING,
     "0xC0000005", ANSWER_CLOSE_BUTTON},
    {"BoxClosedWithEsc", "open", 0, CRASH_BOX, IDS_CODEC_CRASHED_OPENING, "0xC000001D", ANSWER_ESCAPE},
    {"BoxClosedWithAltF4", "about", kAboutCodecButton, CRASH_BOX, IDS_CODEC_CRASHED_ABOUT, "0xC0000094", ANSWER_ALT_F4},
    // The faulting thread holds the heap's lock, which the box needs.
    {"AccessViolationWithTheHeapLocked", "heaplock", kConfigureButton, ENDS, 0, nullptr},
    // Faults that the codec's own handlers take are no crash.
    {"HandledProbeInStartUpThenRefusal", "probe-startup", 0, NOT_DETECTED, IDS_CODEC_REFUSED, nullptr},
    {"HandledProbeInDriverOpenThenRefusal", "probe-open", 0, NOT_DETECTED, IDS_CODEC_REFUSED, nullptr, ANSWER_OK,
     kAsInstalled, true},
    {"HandledProbeInDriverOpen", "probe-open", 0, OPENS, 0, nullptr},
    // A fault on a thread of the codec's while its settings show reaches the
    // program's unhandled-exception filter, which the system does not call
    // in a program that is being debugged.
    {"AccessViolationOnTheCodecsThread", "thread", kConfigureButton, CRASH_BOX, IDS_CODEC_CRASHED_CONFIGURING,
     "0xC0000005", ANSWER_OK, kAsInstalled, false, false},
    // The box names the codec's file wherever it lies.
    {"RegisteredAsAPathWithASpace", "configure", kConfigureButton, CRASH_BOX, IDS_CODEC_CRASHED_CONFIGURING,
     "0xC0000005", ANSWER_OK, kWithASpace},
    {"InAFolderOutsideTheAnsiCodePage", "configure", kConfigureButton, CRASH_BOX, IDS_CODEC_CRASHED_CONFIGURING,
     "0xC0000005", ANSWER_OK, kInCyrillic},
};

bool Enabled(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && IsWindowEnabled(control);
}

// The row's text as the box must show it, from the program's strings. The
// offset ({at}) is taken from the box where it lies in the faulting code's
// range that the compressor logged.
std::string ExpectedText(const Crash& row, const std::string& shown, const std::vector<FaultSite>& sites)
{
    const char* codec = row.installation.own != nullptr ? row.installation.own : "{system}\\standin_qv4z.dll";
    // Wine's exception for a missing function is raised in ntdll.dll; the
    // stand-in logs where its own faults lie.
    const bool missing = row.function != nullptr;
    const std::string where =
        missing ? ProgramText(IDS_CODEC_CRASH_IN_OTHER_MODULE, {"", row.code, "{at}", "{system}\\ntdll.dll"}) + "\n" +
                      ProgramText(IDS_CODEC_CRASH_MISSING_FUNCTION, {row.function, row.dll})
                : ProgramText(IDS_CODEC_CRASH_IN_CODEC, {"", row.code, "{at}"});
    std::string expected = row.outcome == NOT_DETECTED
                               ? ProgramText(IDS_CODEC_NOT_DETECTED) + "\n\n" +
                                     ProgramText(row.step, {codec, row.code, "standin_qv4z.dll+{at}"})
                               : ProgramText(row.step) + "\n\n" + ProgramText(IDS_CODEC_CRASH_FILE, {codec}) + "\n" +
                                     where + "\n\n" + ProgramText(IDS_CODEC_CRASH_CLOSING);
    const size_t at = expected.find("{at}");
    if (at == std::string::npos || (!missing && sites.size() != 1) || shown.compare(0, at, expected, 0, at) != 0 ||
        shown.compare(at, 2, "0x") != 0)
        return expected;
    const unsigned long long offset = strtoull(shown.c_str() + at + 2, nullptr, 16);
    if (!missing && (offset < sites[0].from || offset >= sites[0].to))
        return expected;
    char text[32];
    snprintf(text, sizeof(text), "0x%08llX", offset);
    return expected.replace(at, 4, text);
}

// What /check says of the row's codec: it presses no button, so a codec
// that crashes only in its dialogs is usable there.
const char* CheckVerdict(const Crash& row)
{
    if (row.button != 0 || row.outcome == OPENS)
        return "usable";
    return row.step == IDS_CODEC_REFUSED ? "refused" : "crashed";
}

void AnswerBox(HWND box, Answer answer)
{
    switch (answer) {
    case ANSWER_OK:
        Click(FindChild(box, "Button", "OK"));
        break;
    case ANSWER_CLOSE_BUTTON:
        PostSystemCommand(box, SC_CLOSE);
        break;
    case ANSWER_ESCAPE:
        PressEscape(box);
        break;
    case ANSWER_ALT_F4:
        PressAltF4(box);
        break;
    }
}

class CodecCrash : public Scenario, public testing::WithParamInterface<Crash> {};

TEST_P(CodecCrash, BoxNamesTheCodecTheStepAndTheFaultThenTheNextStartWorks)
{
    const Crash& row = GetParam();
    CompressorLog log;
    {
        InstalledAs installed(row.installation);
        CompressorSetup setup;
        setup.crash = row.mode;
        setup.missing = row.refuses;
        setup.debugged = row.debugged;
        if (row.workingFolder != nullptr)
            setup.workingFolder = Expand(row.workingFolder);
        // Registered by a path with a space, the codec runs from that path, as on Windows.
        std::vector<std::string> environment;
        if (row.installation.own != nullptr && strchr(row.installation.own, ' ') != nullptr)
            environment.push_back("STANDIN_QV4Z_WHOLE=" + Expand(row.installation.own));
        FerrotuneRun run(log, setup, FerrotunePath(), environment);
        ASSERT_TRUE(run.Started()) << FerrotunePath();
        std::string boxText;
        if (row.button != 0) {
            HWND dialog = run.WaitForDialog();
            ASSERT_NE(nullptr, dialog) << log.Text();
            Click(GetDlgItem(dialog, row.button));
        }

        if (row.outcome == ENDS) {
            HWND box = run.WaitForVisibleWindow("Ferrotune", kEndsWithinMs);
            if (box != nullptr)
                AnswerBox(box, row.answer);
            ASSERT_TRUE(run.WaitForExit(kEndsWithinMs)) << "the program still runs after a crash\n" << log.Text();
            EXPECT_EQ(kCodecCrashExitCode, run.ExitCode());
        } else if (row.outcome == OPENS) {
            HWND dialog = run.WaitForDialog();
            ASSERT_NE(nullptr, dialog) << "exit code 0x" << std::hex << run.ExitCode() << "\n" << log.Text();
            EXPECT_TRUE(TopLevelWindows(run.ProcessId(), "Ferrotune").empty()) << "a box came up";
            EXPECT_TRUE(Enabled(dialog, kConfigureButton));
            Click(GetDlgItem(dialog, IDOK));
            ASSERT_TRUE(run.WaitForExit());
            EXPECT_EQ(0u, run.ExitCode());
            EXPECT_TRUE(ClosedExactlyOnce(log));
        } else {
            HWND box = run.WaitForVisibleWindow("Ferrotune");
            if (row.outcome == SYSTEM_HANDLES) {
                EXPECT_EQ(nullptr, box);
                EXPECT_TRUE(run.WaitForExit(10000));
                EXPECT_EQ(strtoul(row.code, nullptr, 16), run.ExitCode()) << log.Text();
            } else {
                ASSERT_NE(nullptr, box) << "no box captioned \"Ferrotune\"; exit code 0x" << std::hex << run.ExitCode()
                                        << "\n"
                                        << log.Text();
                std::vector<HWND> dialogs = TopLevelWindows(run.ProcessId(), kDialogCaption);
                ASSERT_EQ(1u, dialogs.size());
                EXPECT_EQ(dialogs[0], GetWindow(box, GW_OWNER));
                std::vector<std::string> texts = StaticTexts(box);
                ASSERT_EQ(1u, texts.size());
                boxText = texts[0];
                EXPECT_EQ(ExpectedText(row, texts[0], log.FaultSites()), texts[0]) << log.Text();
                bool icon = false;
                for (HWND child : ChildWindows(box)) {
                    if (_stricmp(WindowClass(child).c_str(), "Static") == 0 &&
                        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
                        icon = SendMessageA(child, STM_GETICON, 0, 0) != 0;
                }
                EXPECT_EQ(row.outcome == CRASH_BOX, icon) << "the crash box shows an icon, the other box none";
                EXPECT_FALSE(run.Exited()) << "the program ended while the box was up";
                AnswerBox(box, row.outcome == CRASH_BOX ? row.answer : ANSWER_OK);
            }
            if (row.outcome == CRASH_BOX) {
                ASSERT_TRUE(run.WaitForExit(10000)) << "the program did not end after the box";
                EXPECT_EQ(kCodecCrashExitCode, run.ExitCode());
                EXPECT_TRUE(log.Messages(kDrvClose).empty()) << "nothing more is asked of the codec\n" << log.Text();
            } else if (row.outcome == NOT_DETECTED) {
                HWND dialog = run.WaitForDialog();
                ASSERT_NE(nullptr, dialog);
                EXPECT_FALSE(Enabled(dialog, kConfigureButton));
                EXPECT_FALSE(Enabled(dialog, kAboutCodecButton));
                for (const CompressorMessage& open : log.Messages(kDrvOpen))
                    EXPECT_EQ(0u, open.opened) << log.Text();
                Click(GetDlgItem(dialog, IDOK));
                ASSERT_TRUE(run.WaitForExit());
                EXPECT_EQ(0u, run.ExitCode());
            }
        }

        // /check calls the codec as a start does and writes, in place of a
        // box, what the box would say; of a crash also the step and the fault.
        CheckReport report;
        const std::string verdict = CheckVerdict(row);
        EXPECT_TRUE(ChecksAs(setup, verdict, verdict == "usable" ? "" : boxText, &report));
        if (verdict == "crashed") {
            EXPECT_EQ(row.button == 0 && row.outcome == CRASH_BOX ? "opening" : "starting", report.Value("step"));
            EXPECT_EQ(row.code, report.Value("exception"));
            EXPECT_EQ("49374", report.Value("exit-code"));
        }
    }

    // The single-instance lock went with the process: a good compressor works.
    FerrotuneRun next(log);
    ASSERT_TRUE(next.Started());
    HWND dialog = next.WaitForDialog();
    ASSERT_NE(nullptr, dialog) << "the next start did not show its dialog";
    EXPECT_TRUE(Enabled(dialog, kConfigureButton));
    Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(next.WaitForExit());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CodecCrash, testing::ValuesIn(kCrashes),
                         [](const testing::TestParamInfo<Crash>& info) { return std::string(info.param.name); });

} // namespace
