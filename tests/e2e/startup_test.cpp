// Starting and ending the program: the ways of leaving it, the single running
// copy, a start whose library initialisation fails, and starts with switches.
#include "harness.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char kInitialisationFailed[] = "ERROR: LumaretInitialize() failed\n";

// A file's bytes, with CR LF turned into LF.
std::string ReadWhole(const std::wstring& path)
{
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char chunk[4096];
    DWORD read = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        text.append(chunk, read);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return names;
}

// The messages in the log that came from one process.
size_t MessagesFrom(const CompressorLog& log, DWORD processId)
{
    size_t count = 0;
    for (const CompressorMessage& message : log.Messages())
        count += message.processId == processId ? 1 : 0;
    return count;
}

struct WayOut {
    const char* name;
    void (*leave)(HWND dialog);
};

void PrintTo(const WayOut& row, std::ostream* out)
{
    *out << row.name;
}

const WayOut kWaysOut[] = {
    {"ExitButton", [](HWND dialog) { Click(GetDlgItem(dialog, IDOK)); }},
    {"EscapeKey", [](HWND dialog) { PressEscape(dialog); }},
    {"CloseBox", [](HWND dialog) { PostSystemCommand(dialog, SC_CLOSE); }},
};

class Leaving : public Scenario, public testing::WithParamInterface<WayOut> {};

TEST_P(Leaving, EndsTheProcessAndClosesTheCompressorOnce)
{
    CompressorLog log;
    FerrotuneRun run(log);
    ASSERT_TRUE(run.Started()) << FerrotunePath();
    HWND dialog = run.WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(log.Messages(kDrvClose).empty()) << "closed while the dialog is open\n" << log.Text();

    GetParam().leave(dialog);
    ASSERT_TRUE(run.WaitForExit()) << "the program did not end";
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(ClosedExactlyOnce(log));
    EXPECT_FALSE(HasLine(run.DebugLines(), kInitialisationFailed));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Leaving, testing::ValuesIn(kWaysOut),
                         [](const testing::TestParamInfo<WayOut>& info) { return std::string(info.param.name); });

struct FirstCopyState {
    const char* name;
    bool minimised;
};

void PrintTo(const FirstCopyState& row, std::ostream* out)
{
    *out << row.name;
}

const FirstCopyState kFirstCopyStates[] = {
    {"Shown", false},
    {"Minimised", true},
};

class SecondStart : public Scenario, public testing::WithParamInterface<FirstCopyState> {};

// The second copy brings the first copy's dialog to the foreground without
// restoring it, and ends silently: no window, no debugger output, no compressor.
TEST_P(SecondStart, BringsTheFirstDialogForwardAndEnds)
{
    CompressorLog log;
    FerrotuneRun first(log);
    ASSERT_TRUE(first.Started()) << FerrotunePath();
    HWND dialog = first.WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    if (GetParam().minimised) {
        ASSERT_TRUE(Minimise(dialog)) << "could not minimise the dialog";
    }
    ForegroundDecoy decoy;
    ASSERT_TRUE(decoy.TakeForeground()) << "another window must have the foreground before the second start";

    FerrotuneRun second(log);
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(second.WaitForExit()) << "the second copy did not end";
    EXPECT_FALSE(second.SawVisibleWindow());
    EXPECT_EQ(std::vector<std::string>(), second.DebugLines());
    EXPECT_EQ(0u, MessagesFrom(log, second.ProcessId())) << log.Text();

    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == dialog; }, 10000))
        << "foreground window is " << WindowText(GetForegroundWindow());
    EXPECT_EQ(GetParam().minimised, IsIconic(dialog) != FALSE);
    EXPECT_FALSE(first.Exited());

    Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(first.WaitForExit());
    EXPECT_TRUE(ClosedExactlyOnce(log));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, SecondStart, testing::ValuesIn(kFirstCopyStates),
                         [](const testing::TestParamInfo<FirstCopyState>& info) {
                             return std::string(info.param.name);
                         });

class SingleInstance : public Scenario {};

TEST_F(SingleInstance, AfterANormalEndANewStartRunsAsTheOnlyCopy)
{
    CompressorLog log;
    DWORD firstProcess = 0;
    {
        FerrotuneRun first(log);
        ASSERT_TRUE(first.Started()) << FerrotunePath();
        firstProcess = first.ProcessId();
        HWND dialog = first.WaitForDialog();
        ASSERT_NE(nullptr, dialog);
        Click(GetDlgItem(dialog, IDOK));
        ASSERT_TRUE(first.WaitForExit());
    }

    FerrotuneRun next(log);
    ASSERT_TRUE(next.Started());
    HWND dialog = next.WaitForDialog();
    ASSERT_NE(nullptr, dialog) << "the new start did not show its dialog";
    EXPECT_EQ(1u, TopLevelWindows(0, kDialogCaption).size());
    EXPECT_NE(firstProcess, next.ProcessId());
    EXPECT_LT(0u, MessagesFrom(log, next.ProcessId())) << "the new start did not open the compressor\n" << log.Text();
    Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(next.WaitForExit());
}

// Started together, the copies agree through the named mutex: exactly one
// runs the dialog and opens the compressor, the others end silently.
TEST_F(SingleInstance, TenCopiesStartedTogetherLeaveExactlyOneDialog)
{
    const size_t kCopies = 10;
    CompressorLog log;
    std::vector<std::unique_ptr<FerrotuneRun>> runs;
    for (size_t i = 0; i < kCopies; ++i) {
        runs.emplace_back(new FerrotuneRun(log));
        ASSERT_TRUE(runs.back()->Started());
    }

    auto running = [&] {
        size_t count = 0;
        for (const auto& run : runs)
            count += run->Exited() ? 0 : 1;
        return count;
    };
    ASSERT_TRUE(WaitUntil([&] { return running() <= 1; }, 4 * kWaitMs)) << running() << " copies still running";
    ASSERT_EQ(1u, running());
    FerrotuneRun* survivor = nullptr;
    for (const auto& run : runs) {
        if (!run->Exited())
            survivor = run.get();
        else
            EXPECT_EQ(std::vector<std::string>(), run->DebugLines());
    }
    HWND dialog = survivor->WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(1u, TopLevelWindows(0, kDialogCaption).size());
    EXPECT_EQ(log.Messages().size(), MessagesFrom(log, survivor->ProcessId()))
        << "only the running copy talks to the compressor\n"
        << log.Text();

    Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(survivor->WaitForExit());
    EXPECT_TRUE(ClosedExactlyOnce(log));
}

// A start with switches: the one window it shows, if any, closed with its OK
// button; how its output (with its standard error) begins; its exit code.
struct Switches {
    const char* name;
    const char* arguments; // "{tests}" is this program's folder, as Expand names it
    const char* declines;  // the capability question the stand-in answers with "no": "configure", "about" or ""
    const char* window;    // the caption of the window it shows; null: none
    const char* output;    // the start of its output; null: nothing
    DWORD exitCode;
};

void PrintTo(const Switches& row, std::ostream* out)
{
    *out << row.name;
}

const char kUsage[] = "Usage: Ferrotune [/check [/out FILE] | /configure | /about | /?]\n";

const Switches kSwitchRows[] = {
    {"UsageAsked", "/?", "", nullptr, kUsage, 0},
    {"UnknownSwitch", "/frobnicate", "", nullptr, kUsage, 2},
    {"SwitchGivenTwice", "-check /CHECK", "", nullptr, kUsage, 2},
    {"TwoModes", "/check /about", "", nullptr, kUsage, 2},
    {"OutWithoutAFileName", "/check /out", "", nullptr, kUsage, 2},
    {"OutWithoutCheck", "/out report.txt", "", nullptr, kUsage, 2},
    {"OutToAFolderThatDoesNotExist", "/check /out \"{tests}no such folder\\report.txt\"", "", nullptr,
     "Ferrotune could not write its report to \"", 3},
    {"ConfigureOpensTheCodecsSettings", "/configure", "", "QV4Z Stand-in Settings", nullptr, 0},
    {"AboutOpensTheCodecsAboutBox", "-About", "", "About QV4Z Stand-in", nullptr, 0},
    {"ConfigureWithoutASettingsDialog", "/configure", "configure", "Ferrotune", nullptr, 24},
    {"AboutWithoutAnAboutBox", "/about", "about", "Ferrotune", nullptr, 24},
};

class CommandLine : public Scenario, public testing::WithParamInterface<Switches> {};

TEST_P(CommandLine, ShowsWhatTheSwitchesAskForAndEndsWithItsExitCode)
{
    const Switches& row = GetParam();
    CompressorLog log;
    CompressorSetup setup;
    setup.arguments = Expand(row.arguments);
    if (std::string(row.declines) == "configure")
        setup.configureAnswer = "-1";
    if (std::string(row.declines) == "about")
        setup.aboutAnswer = "-1";
    FerrotuneRun run(log, setup);
    ASSERT_TRUE(run.Started()) << FerrotunePath();
    if (row.window != nullptr) {
        HWND window = run.WaitForVisibleWindow(row.window);
        ASSERT_NE(nullptr, window) << log.Text();
        EXPECT_TRUE(TopLevelWindows(run.ProcessId(), kDialogCaption).empty()) << "the program's own dialog showed";
        Click(FindChild(window, "Button", "OK"));
    }
    ASSERT_TRUE(run.WaitForExit()) << "the program did not end";
    EXPECT_EQ(row.exitCode, run.ExitCode());
    const std::string output = run.StandardOutput();
    EXPECT_EQ(0u, output.find(row.output != nullptr ? row.output : "")) << output;
    EXPECT_EQ(row.output == nullptr, output.empty()) << output;
    EXPECT_EQ(row.window != nullptr, run.SawVisibleWindow());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CommandLine, testing::ValuesIn(kSwitchRows),
                         [](const testing::TestParamInfo<Switches>& info) { return std::string(info.param.name); });

// /check takes no single-instance lock: beside a running copy it reports and
// leaves that copy where it is; /configure then only brings it forward.
TEST_F(SingleInstance, CheckRunsBesideARunningCopyAndConfigureBringsItForward)
{
    CompressorLog log;
    FerrotuneRun first(log);
    ASSERT_TRUE(first.Started()) << FerrotunePath();
    HWND dialog = first.WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    ForegroundDecoy decoy;
    ASSERT_TRUE(decoy.TakeForeground());

    EXPECT_TRUE(ChecksAs(CompressorSetup(), "usable", ""));
    EXPECT_EQ(decoy.Window(), GetForegroundWindow()) << "/check brought something forward";

    CompressorSetup configure;
    configure.arguments = "/configure";
    FerrotuneRun second(log, configure);
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_EQ(4u, second.ExitCode());
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == dialog; }, 10000));
    EXPECT_FALSE(first.Exited());
    Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(first.WaitForExit());
}

// /out replaces the file whole, whatever its name's script, and leaves
// nothing beside it.
TEST_F(SingleInstance, CheckWritesItsReportToAFileOfAnyName)
{
    const std::wstring folder = Wide(ThisProgramFolder()) + L"отчёт 報告\\";
    const std::wstring file = folder + L"QV4Z — проверка.txt";
    CreateDirectoryW(folder.c_str(), nullptr);
    HANDLE old = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, old);
    DWORD written = 0;
    WriteFile(old, "an older report, longer than the new one will be ...", 52, &written, nullptr);
    CloseHandle(old);

    CompressorLog log;
    CompressorSetup setup;
    setup.arguments = "/check /out \"" + Utf8(file.c_str()) + "\"";
    FerrotuneRun run(log, setup);
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(run.WaitForExit());
    EXPECT_EQ(0u, run.ExitCode());
    EXPECT_EQ("", run.StandardOutput());
    const std::string text = ReadWhole(file);
    EXPECT_EQ("usable", ParseCheckReport(text).Value("verdict")) << text;
    EXPECT_EQ(std::vector<std::wstring>{L"QV4Z — проверка.txt"}, FilesIn(folder));
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

class LibraryInitialisation : public Scenario {};

// Lines of the test build's own (testbuild.cpp).
const char kShutdown[] = "test build: LumaretUninitialize called\n";
const char kMutexGone[] = "test build: mutex gone at the end\n";

// The test build's initialisation fails with a code, or raises from the
// profile; the raising run's first line is the library's report of it. Either
// way: the one failure line, no window, no shutdown, the mutex let go, and
// the same exit code.
TEST_F(LibraryInitialisation, FailureWritesOneLineAndShowsNothing)
{
    struct Failure {
        const char* environment;
        std::vector<std::string> lines;
    };
    const Failure kFailures[] = {
        {"FERROTUNE_TEST_INITIALISATION=counter-at-maximum", {kInitialisationFailed, kMutexGone}},
        {"FERROTUNE_TEST_INITIALISATION=version-query-fails",
         {"Trace: Exception thrown in file corelib/Src/xlib.cpp(577)\n", kInitialisationFailed, kMutexGone}},
    };
    std::vector<DWORD> exitCodes;
    for (const Failure& failure : kFailures) {
        SCOPED_TRACE(failure.environment);
        CompressorLog log;
        FerrotuneRun run(log, CompressorSetup(), TestBuildPath(), {failure.environment});
        ASSERT_TRUE(run.Started()) << TestBuildPath();
        ASSERT_TRUE(run.WaitForExit());
        EXPECT_EQ(failure.lines, run.DebugLines());
        EXPECT_FALSE(run.SawVisibleWindow());
        EXPECT_TRUE(log.Messages().empty()) << log.Text();
        exitCodes.push_back(run.ExitCode());
    }
    EXPECT_EQ(exitCodes[0], exitCodes[1]);
}

// In the test build the compressor is opened with the type as the launcher
// passes it, before the compressor manager folds its case; the library is
// shut down once, after the dialog, and never by a second copy.
TEST_F(LibraryInitialisation, SuccessOpensVidcAndShutsDownOnceAfterTheDialog)
{
    CompressorLog log;
    FerrotuneRun first(log, CompressorSetup(), TestBuildPath());
    ASSERT_TRUE(first.Started()) << TestBuildPath();
    HWND dialog = first.WaitForDialog();
    ASSERT_NE(nullptr, dialog);
    FerrotuneRun second(log, CompressorSetup(), TestBuildPath());
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_EQ(std::vector<std::string>(), second.DebugLines());

    Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(first.WaitForExit());
    const std::vector<std::string> expected = {"test build: VfwOpen type=VIDC handler=QV4Z mode=4\n", kShutdown,
                                               kMutexGone};
    EXPECT_EQ(expected, first.DebugLines());
}

} // namespace
