// Starting and ending the program: the ways of leaving it, the single running
// copy, and a start whose library initialisation fails.
#include "harness.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const char kInitialisationFailed[] = "ERROR: LumaretInitialize() failed\n";

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
