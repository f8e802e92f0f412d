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

#include <string>
#include <vector>

namespace {

const int kConfigureButton = 1000;
const int kAboutCodecButton = 1001;
// The exit code of a program that a codec's crash ended (README).
const DWORD kCodecCrashExitCode = 0xC0DE;

enum Outcome {
    CRASH_BOX,     // the crash box, then the process ends with kCodecCrashExitCode
    NOT_DETECTED,  // the "Codec not detected" box, then the dialog without a codec
    SYSTEM_HANDLES // no box: the process ends as the system ends a program that crashed
};

struct Crash {
    const char* name;
    const char* mode; // where the stand-in faults
    int button;       // clicked once the dialog shows; 0: the fault comes while the program starts
    Outcome outcome;
    UINT step;        // the box's first sentence (CRASH_BOX), or its paragraph (NOT_DETECTED)
    const char* code; // the exception's code
    // Another codec, registered for the run and started in the folder of the
    // helper DLL it needs (null: the stand-in), and what its crash calls
    // that the helper lacks: the function and the DLL.
    const char* codec = nullptr;
    const char* function = nullptr;
    const char* dll = nullptr;
};

void PrintTo(const Crash& row, std::ostream* out)
{
    *out << row.name;
}

const Crash kCrashes[] = {
    {"AccessViolationInStartUp", "startup", 0, NOT_DETECTED, IDS_CODEC_CRASHED_STARTING, "0xC0000005"},
    {"IllegalInstructionInDriverOpen", "open", 0, CRASH_BOX, IDS_CODEC_CRASHED_OPENING, "0xC000001D"},
    {"AccessViolationInTheSettingsDialog", "configure", kConfigureButton, CRASH_BOX, IDS_CODEC_CRASHED_CONFIGURING,
     "0xC0000005"},
    {"DivisionByZeroInAbout", "about", kAboutCodecButton, CRASH_BOX, IDS_CODEC_CRASHED_ABOUT, "0xC0000094"},
    {"StackOverflowInTheAboutBox", "overflow", kAboutCodecButton, CRASH_BOX, IDS_CODEC_CRASHED_ABOUT, "0xC00000FD"},
    // Under Wine a codec whose helper lacks a function it imports loads, and
    // the call raises Wine's exception in ntdll; the box names the function.
    {"CallOfAFunctionTheHelperLacks", "lacking", 0, CRASH_BOX, IDS_CODEC_CRASHED_OPENING, "0x80000100",
     "{tests}lacking_qv4z.dll", "Qv4zHelperNewer", "qv4zhelper.dll"},
    // An access violation in the program's dialog procedure, inside DRV_CONFIGURE.
    {"AccessViolationInTheProgram", "program", kConfigureButton, SYSTEM_HANDLES, 0, nullptr},
};

bool Enabled(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && IsWindowEnabled(control);
}

// The row's text as the box must show it, from the program's strings. The
// offset ({at}) is taken from the box where it lies in the faulting code's
// range that the compressor logged; in ntdll, wherever it lies.
std::string ExpectedText(const Crash& row, const std::string& shown, const std::vector<FaultSite>& sites)
{
    const char* codec = row.codec != nullptr ? row.codec : "{system}\\standin_qv4z.dll";
    const std::string where =
        row.codec != nullptr
            ? ProgramText(IDS_CODEC_CRASH_IN_OTHER_MODULE, {"", row.code, "{at}", "{system}\\ntdll.dll"}) + "\n" +
                  ProgramText(IDS_CODEC_CRASH_MISSING_FUNCTION, {row.function, row.dll})
            : ProgramText(IDS_CODEC_CRASH_IN_CODEC, {"", row.code, "{at}"});
    std::string expected = row.outcome == NOT_DETECTED
                               ? ProgramText(IDS_CODEC_NOT_DETECTED) + "\n\n" +
                                     ProgramText(row.step, {codec, row.code, "standin_qv4z.dll+{at}"})
                               : ProgramText(row.step) + "\n\n" + ProgramText(IDS_CODEC_CRASH_FILE, {codec}) + "\n" +
                                     where + "\n\n" + ProgramText(IDS_CODEC_CRASH_CLOSING);
    const size_t at = expected.find("{at}");
    if ((row.codec == nullptr && sites.size() != 1) || shown.compare(0, at, expected, 0, at) != 0 ||
        shown.compare(at, 2, "0x") != 0)
        return expected;
    const unsigned long long offset = strtoull(shown.c_str() + at + 2, nullptr, 16);
    if (row.codec == nullptr && (offset < sites[0].from || offset >= sites[0].to))
        return expected;
    char text[32];
    snprintf(text, sizeof(text), "0x%08llX", offset);
    return expected.replace(at, 4, text);
}

// The codec registered in the program's own registry view for one run, then
// the stand-in again.
class RegisteredCodec {
public:
    explicit RegisteredCodec(const char* codec) : m_codec(codec)
    {
        if (m_codec != nullptr)
            Register(Expand(m_codec));
    }
    ~RegisteredCodec()
    {
        if (m_codec != nullptr)
            Register("standin_qv4z.dll");
    }

private:
    static void Register(const std::string& file)
    {
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32",
                                  "vidc.QV4Z", REG_SZ, file.c_str(), DWORD(file.size() + 1)));
    }
    const char* m_codec;
};

class CodecCrash : public Scenario, public testing::WithParamInterface<Crash> {};

TEST_P(CodecCrash, BoxNamesTheCodecTheStepAndTheFaultThenTheNextStartWorks)
{
    const Crash& row = GetParam();
    CompressorLog log;
    {
        RegisteredCodec registered(row.codec);
        CompressorSetup setup;
        setup.crash = row.mode;
        if (row.codec != nullptr)
            setup.workingFolder = Expand("{tests}broken");
        FerrotuneRun run(log, setup);
        ASSERT_TRUE(run.Started()) << FerrotunePath();
        if (row.button != 0) {
            HWND dialog = run.WaitForDialog();
            ASSERT_NE(nullptr, dialog) << log.Text();
            Click(GetDlgItem(dialog, row.button));
        }

        HWND box = run.WaitForVisibleWindow("Ferrotune");
        if (row.outcome == SYSTEM_HANDLES) {
            EXPECT_EQ(nullptr, box);
            EXPECT_TRUE(run.WaitForExit(10000));
            EXPECT_EQ(0xC0000005, run.ExitCode()) << log.Text();
        } else {
            ASSERT_NE(nullptr, box) << "no box captioned \"Ferrotune\"; exit code 0x" << std::hex << run.ExitCode()
                                    << "\n"
                                    << log.Text();
            std::vector<HWND> dialogs = TopLevelWindows(run.ProcessId(), kDialogCaption);
            ASSERT_EQ(1u, dialogs.size());
            EXPECT_EQ(dialogs[0], GetWindow(box, GW_OWNER));
            std::vector<std::string> texts = StaticTexts(box);
            ASSERT_EQ(1u, texts.size());
            EXPECT_EQ(ExpectedText(row, texts[0], log.FaultSites()), texts[0]) << log.Text();
            bool icon = false;
            for (HWND child : ChildWindows(box)) {
                if (_stricmp(WindowClass(child).c_str(), "Static") == 0 &&
                    (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child))
                    icon = SendMessageA(child, STM_GETICON, 0, 0) != 0;
            }
            EXPECT_EQ(row.outcome == CRASH_BOX, icon) << "the crash box shows an icon, the other box none";
            EXPECT_FALSE(run.Exited()) << "the program ended while the box was up";
            Click(FindChild(box, "Button", "OK"));
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
            EXPECT_TRUE(log.Messages().empty()) << log.Text();
            Click(GetDlgItem(dialog, IDOK));
            ASSERT_TRUE(run.WaitForExit());
            EXPECT_EQ(0u, run.ExitCode());
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
