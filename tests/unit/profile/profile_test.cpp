// The system profile: the version record, the processor count from the
// environment, where first-time initialisation collects it, and what a failed
// version query leaves behind.
#include "childscenario.h"
#include "cpuprobe.h"
#include "displayseam.h"
#include "lumaret.h"
#include "profileseam.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

TEST(SystemProfile, VersionRecordIsWhatTheSystemReports)
{
    OSVERSIONINFOA own = {};
    own.dwOSVersionInfoSize = sizeof(own);
    ASSERT_TRUE(GetVersionExA(&own));

    memset(&g_systemInfo.m_osVersion, 0xAB, sizeof(g_systemInfo.m_osVersion));
    g_systemInfo.Collect();
    const OSVERSIONINFOA& v = g_systemInfo.m_osVersion;
    EXPECT_EQ(148u, v.dwOSVersionInfoSize);
    EXPECT_EQ(own.dwMajorVersion, v.dwMajorVersion);
    EXPECT_EQ(own.dwMinorVersion, v.dwMinorVersion);
    EXPECT_EQ(own.dwBuildNumber, v.dwBuildNumber);
    EXPECT_EQ(own.dwPlatformId, v.dwPlatformId);
    EXPECT_EQ(0, memcmp(own.szCSDVersion, v.szCSDVersion, sizeof(v.szCSDVersion)));
}

// ---------------------------------------------------------------------------
// NUMBER_OF_PROCESSORS

const char kProcessors[] = "NUMBER_OF_PROCESSORS";

struct CountCase {
    const char* name;
    const char* value; // null: the variable is unset
    long expected;
};

class ProcessorCount : public testing::TestWithParam<CountCase> {
protected:
    void SetUp() override
    {
        const char* original = getenv(kProcessors);
        m_hadOriginal = original != nullptr;
        if (m_hadOriginal)
            m_original = original;
    }
    void TearDown() override
    {
        std::string restore = std::string(kProcessors) + "=" + (m_hadOriginal ? m_original : "");
        _putenv(restore.c_str());
    }
    bool m_hadOriginal = false;
    std::string m_original;
};

TEST_P(ProcessorCount, IsWhatTheEnvironmentStates)
{
    // "NAME=" removes the variable; an empty value needs a child (below).
    std::string setting = std::string(kProcessors) + "=" + (GetParam().value ? GetParam().value : "");
    ASSERT_EQ(0, _putenv(setting.c_str()));
    ASSERT_EQ(GetParam().value == nullptr, getenv(kProcessors) == nullptr);

    g_systemInfo.m_processorCount = 12345;
    g_systemInfo.Collect();
    EXPECT_EQ(GetParam().expected, g_systemInfo.m_processorCount);
}

INSTANTIATE_TEST_SUITE_P(Values, ProcessorCount,
                         testing::Values(CountCase{"Unset", nullptr, 1}, CountCase{"Plain", "2", 2},
                                         CountCase{"LeadingBlanks", "   12", 12},
                                         CountCase{"LeadingTabAndBlank", "\t 3", 3},
                                         CountCase{"TrailingNonDigits", "7cores", 7}, CountCase{"Negative", "-3", -3},
                                         CountCase{"BlanksThenNegative", "  -16 ", -16}, CountCase{"PlusSign", "+5", 5},
                                         CountCase{"NoDigits", "many", 0}, CountCase{"DigitsAfterLetters", "x8", 0}),
                         [](const testing::TestParamInfo<CountCase>& info) { return std::string(info.param.name); });

CHILD_SCENARIO(PrintProcessorCount)
{
    const char* value = getenv(kProcessors);
    if (value == nullptr || *value != '\0')
        return 2; // the environment did not arrive empty
    g_systemInfo.Collect();
    printf("%ld\n", g_systemInfo.m_processorCount);
    return 0;
}

TEST(ProcessorCountEmpty, GivesZero)
{
    char original[64] = {};
    DWORD length = GetEnvironmentVariableA(kProcessors, original, sizeof(original));
    ASSERT_TRUE(SetEnvironmentVariableA(kProcessors, ""));
    DebugCapture child = RunChildScenario("PrintProcessorCount");
    SetEnvironmentVariableA(kProcessors, length != 0 ? original : nullptr);

    ASSERT_TRUE(child.finished);
    ASSERT_EQ(0u, child.exitCode);
    EXPECT_EQ("0\n", child.standardOutput);
}

// ---------------------------------------------------------------------------
// Collection steps of first-time initialisation, observed through the seams.

std::vector<std::string> s_steps;

BOOL WINAPI RecordingVersionQuery(OSVERSIONINFOA* version)
{
    s_steps.push_back(g_trace != nullptr ? "version query, sink present" : "version query, no sink");
    return GetVersionExA(version);
}

DWORD s_versionError = 0;

BOOL WINAPI FailingVersionQuery(OSVERSIONINFOA*)
{
    s_steps.push_back("version query fails");
    SetLastError(s_versionError);
    return FALSE;
}

bool RecordingAlignmentCheck()
{
    s_steps.push_back("processor");
    return g_realCpuOps.alignmentCheckToggles();
}

HWND WINAPI RecordingDesktopWindow()
{
    s_steps.push_back("display");
    return GetDesktopWindow();
}

class Collection : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(0ul, g_initCount);
        s_steps.clear();
        g_queryVersion = RecordingVersionQuery;
        g_cpuOps.alignmentCheckToggles = RecordingAlignmentCheck;
        g_displayCalls.getDesktopWindow = RecordingDesktopWindow;
    }
    void TearDown() override
    {
        while (g_initCount != 0)
            LumaretUninitialize();
        g_queryVersion = GetVersionExA;
        g_cpuOps = g_realCpuOps;
        g_displayCalls = g_realDisplayCalls;
    }
};

typedef std::vector<std::string> Steps;

// The display asks for the desktop window twice: for the screen's context and
// again when it releases it.
const Steps kFirstTime = {"version query, sink present", "processor", "display", "display"};

TEST_F(Collection, FirstInitialisationCollectsProfileThenDisplayAfterTheSink)
{
    ASSERT_EQ(0ul, LumaretInitialize());
    EXPECT_EQ(kFirstTime, s_steps);
}

TEST_F(Collection, NestedInitialisationCollectsNothing)
{
    ASSERT_EQ(0ul, LumaretInitialize());
    s_steps.clear();
    EXPECT_EQ(0ul, LumaretInitialize());
    EXPECT_EQ(Steps{}, s_steps);
    EXPECT_EQ(0ul, LumaretUninitialize());
    EXPECT_EQ(0ul, LumaretUninitialize());
    EXPECT_EQ(Steps{}, s_steps) << "shutdown collects nothing";
}

TEST_F(Collection, EveryNewStartCollectsAgain)
{
    ASSERT_EQ(0ul, LumaretInitialize());
    ASSERT_EQ(0ul, LumaretUninitialize());
    ASSERT_EQ(0ul, LumaretInitialize());
    Steps twice = kFirstTime;
    twice.insert(twice.end(), kFirstTime.begin(), kFirstTime.end());
    EXPECT_EQ(twice, s_steps);
}

// ---------------------------------------------------------------------------
// A failing version query.

class VersionQueryFailure : public Collection, public testing::WithParamInterface<DWORD> {};

TEST_P(VersionQueryFailure, RaisesWithTheSystemErrorAndKeepsTheOtherFields)
{
    s_versionError = GetParam();
    g_queryVersion = FailingVersionQuery;
    g_systemInfo.m_processorCount = 4242;
    g_systemInfo.m_cpuFeatures = 0x3F;

    bool raised = false;
    try {
        g_systemInfo.Collect();
    } catch (const CxException& e) {
        raised = true;
        EXPECT_EQ(0x1D0004ul, e.m_flags);
        EXPECT_EQ(GetParam(), e.m_code);
        EXPECT_EQ(0ul, e.m_reserved);
        EXPECT_EQ(577ul, e.m_line);
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(4242, g_systemInfo.m_processorCount);
    EXPECT_EQ(0x3Ful, g_systemInfo.m_cpuFeatures);
    EXPECT_EQ(Steps{"version query fails"}, s_steps) << "nothing after the query";
}

INSTANTIATE_TEST_SUITE_P(Codes, VersionQueryFailure,
                         testing::Values(DWORD(ERROR_ACCESS_DENIED), DWORD(ERROR_INVALID_PARAMETER), DWORD(0)));

TEST_F(Collection, FailedFirstInitialisationLeavesTheLibraryDown)
{
    s_versionError = ERROR_NOT_ENOUGH_MEMORY;
    g_queryVersion = FailingVersionQuery;
    g_pixelFormat = 0x1234;

    bool raised = false;
    try {
        LumaretInitialize();
    } catch (const CxException& e) {
        raised = true;
        EXPECT_EQ(0x1D0004ul, e.m_flags);
        EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), e.m_code);
        EXPECT_EQ(577ul, e.m_line);
    }
    ASSERT_TRUE(raised);
    EXPECT_EQ(0ul, g_initCount);
    EXPECT_EQ(nullptr, g_trace);
    EXPECT_EQ(0x1234ul, g_pixelFormat) << "the display was not detected";
    EXPECT_EQ(1ul, LumaretUninitialize()) << "there is nothing to balance";

    // The next call is a first call again and collects everything.
    g_queryVersion = RecordingVersionQuery;
    s_steps.clear();
    EXPECT_EQ(0ul, LumaretInitialize());
    EXPECT_EQ(1ul, g_initCount);
    EXPECT_NE(nullptr, g_trace);
    EXPECT_EQ(kFirstTime, s_steps);
    EXPECT_NE(0x1234ul, g_pixelFormat);
}

CHILD_SCENARIO(InitialiseWithFailingVersionQuery)
{
    s_versionError = ERROR_FILE_NOT_FOUND;
    g_queryVersion = FailingVersionQuery;
    try {
        LumaretInitialize();
    } catch (const CxException&) {
        return g_initCount == 0 && g_trace == nullptr ? 0 : 3;
    }
    return 2;
}

std::string WithoutCarriageReturns(std::string text)
{
    std::string::size_type cr;
    while ((cr = text.find('\r')) != std::string::npos)
        text.erase(cr, 1);
    return text;
}

TEST(VersionQueryReport, WritesOneTraceLineAndOneConsoleLine)
{
    char systemText[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND, 0,
                   systemText, sizeof(systemText), nullptr);
    ASSERT_NE('\0', systemText[0]);

    DebugCapture child = RunChildScenario("InitialiseWithFailingVersionQuery");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0u, child.exitCode);

    ASSERT_EQ(1u, child.debugLines.size()) << JoinLines(child.debugLines);
    const std::string& trace = child.debugLines[0];
    const std::string head = "Trace: Exception thrown in file ";
    const std::string tail = "xlib.cpp(577)\n";
    EXPECT_EQ(head, trace.substr(0, head.size())) << trace;
    ASSERT_GE(trace.size(), head.size() + tail.size());
    EXPECT_EQ(tail, trace.substr(trace.size() - tail.size())) << trace;

    EXPECT_EQ(WithoutCarriageReturns(std::string("xlib.cpp (577): ") + systemText + "\n"),
              WithoutCarriageReturns(child.standardOutput));
}

} // namespace
