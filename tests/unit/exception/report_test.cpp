// The exception's report as a developer and a user see it: trace lines on the
// debugger output, console lines on standard output, the message box.
#include "childscenario.h"
#include "lumaret.h"
#include "reportseam.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Stands in for MessageBoxA in a child: the call's arguments go to standard
// output, in order with the console lines.
int WINAPI PrintMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    printf("[box owner=%s text=%s caption=%s style=0x%X]\n", owner ? "set" : "none", text ? text : "<null>",
           caption ? caption : "<null>", style);
    return IDOK;
}

struct ReportCase {
    const char* name;
    unsigned long flags;
    unsigned long code;
    const char* file;
    unsigned long line;
    const char* trace;  // the one debugger-output line
    const char* output; // standard output, LF line ends
};

// Wine's text for system error 2 ends in CR LF; the capture turns the CR LF
// that text mode writes for "\n" into LF, so the text's own CR LF stays.
const ReportCase kReportCases[] = {
    {"RegistryErrorNamesFileNameAndSystemText", 0x190004, 2, "C:\\work\\src\\abc.def", 233,
     "Trace: Exception thrown in file C:\\work\\src\\abc.def(233)\n", "abc.def (233): File not found.\r\n\n"},
    {"StringAllocationFailureLine", 0x1D0003, 0x80001000, "/build/corelib/Src/xstring.cpp", 379,
     "Trace: Exception thrown in file /build/corelib/Src/xstring.cpp(379)\n",
     "xstring.cpp (379): A memory allocation has failed\n"},
    {"ConsoleWithoutShortFileSaysError", 0x80002, 0x80000007, "C:\\a\\b.cpp", 12,
     "Trace: Exception thrown in file C:\\a\\b.cpp(12)\n", "ERROR: An invalid parameter was passed to a function\n"},
    {"MessageBoxOnlyShowsTheTextAndPrintsNothing", 0x20005, 0x101, "C:\\a\\b.cpp", 13,
     "Trace: Exception thrown in file C:\\a\\b.cpp(13)\n",
     "[box owner=none text=File not found caption=Exception Error style=0x2010]\n"},
    {"ShortFileWithoutConsolePrintsNothing", 0x100004, 2, "C:\\a\\b.cpp", 14,
     "Trace: Exception thrown in file C:\\a\\b.cpp(14)\n", ""},
    {"NoReportBitsOnlyTraces", 0x00000003, 0x80000007, "b.cpp", 15, "Trace: Exception thrown in file b.cpp(15)\n", ""},
    {"FacilityZeroIsUnknownError", 0x80000, 5, "b.cpp", 16, "Trace: Exception thrown in file b.cpp(16)\n",
     "ERROR: Unknown error\n"},
    {"SystemCodeWithoutTextPrintsNull", 0x180004, 0x20000000, "C:\\a\\b.cpp", 17,
     "Trace: Exception thrown in file C:\\a\\b.cpp(17)\n", "b.cpp (17): (null)\n"},
    {"MessageBoxBeforeConsoleLine", 0xA0002, 0x80000007, "b.cpp", 18, "Trace: Exception thrown in file b.cpp(18)\n",
     "[box owner=none text=An invalid parameter was passed to a function caption=Exception Error style=0x2010]\n"
     "ERROR: An invalid parameter was passed to a function\n"},
    {"PathEndingInBackslashGivesEmptyName", 0x180003, 0x80001000, "C:\\dir\\", 19,
     "Trace: Exception thrown in file C:\\dir\\(19)\n", " (19): A memory allocation has failed\n"},
    {"NetworkPathIsNamedWhole", 0x180003, 0x80001000, "\\\\server\\share\\abc.def", 20,
     "Trace: Exception thrown in file \\\\server\\share\\abc.def(20)\n",
     "\\\\server\\share\\abc.def (20): A memory allocation has failed\n"},
    {"DriveWithoutDirectory", 0x180003, 0x80001000, "x:name.ext", 21,
     "Trace: Exception thrown in file x:name.ext(21)\n", "name.ext (21): A memory allocation has failed\n"},
    {"EmptyMessageBoxText", 0x20004, 0x20000000, "b.cpp", 22, "Trace: Exception thrown in file b.cpp(22)\n",
     "[box owner=none text=<null> caption=Exception Error style=0x2010]\n"},
    {"HighBitsDoNotChangeTheFacility", 0xFFF90001, 0xC0000005, "a/b/c.d.e", 4000000000ul,
     "Trace: Exception thrown in file a/b/c.d.e(4000000000)\n",
     "c.d.e (4000000000): EXCEPTION_ACCESS_VIOLATION: The thread tried to read from or write to a virtual address "
     "for which it does not have the appropriate access.\n"},
};

// Failure messages name the case.
void PrintTo(const ReportCase& c, std::ostream* os)
{
    *os << c.name;
}

// Raises the case named by args[0] once and checks what the handler receives.
CHILD_SCENARIO(RaiseReportCase)
{
    g_reportMessageBox = PrintMessageBox;
    for (const ReportCase& c : kReportCases) {
        if (args.empty() || args[0] != c.name)
            continue;
        int caught = 0;
        try {
            throw CxException(c.flags, c.code, c.file, c.line);
        } catch (const CxException& e) {
            if (e.m_flags == c.flags && e.m_code == c.code && e.m_reserved == 0 && e.m_line == c.line)
                ++caught;
        }
        return caught == 1 ? 0 : 1;
    }
    return 2;
}

class Report : public testing::TestWithParam<ReportCase> {};

TEST_P(Report, WritesOneTraceLineAndTheConsoleLinesTheFlagsAskFor)
{
    const ReportCase& c = GetParam();
    DebugCapture child = RunChildScenario("RaiseReportCase", {c.name});
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);
    EXPECT_EQ(std::vector<std::string>{c.trace}, child.debugLines) << JoinLines(child.debugLines);
    EXPECT_EQ(c.output, child.standardOutput);
}

INSTANTIATE_TEST_SUITE_P(Cases, Report, testing::ValuesIn(kReportCases),
                         [](const testing::TestParamInfo<ReportCase>& info) { return info.param.name; });

// A copy repeats no part of the report: one trace line and one console line
// however often the exception is copied.
CHILD_SCENARIO(CopyTheException)
{
    CxException original(0x80002, 0x80000007, "C:\\src\\copy.cpp", 77);
    CxException copy(original);
    CxException assigned = copy;
    try {
        throw assigned; // throwing a named object copies it
    } catch (const CxException& thrown) {
        const CxException* all[] = {&original, &copy, &assigned, &thrown};
        for (const CxException* e : all) {
            if (e->m_flags != 0x80002 || e->m_code != 0x80000007 || e->m_reserved != 0 || e->m_line != 77)
                return 1;
        }
    }
    return 0;
}

TEST(ExceptionCopy, CarriesTheFourWordsAndMakesNoReport)
{
    DebugCapture child = RunChildScenario("CopyTheException");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);
    EXPECT_EQ(std::vector<std::string>{"Trace: Exception thrown in file C:\\src\\copy.cpp(77)\n"}, child.debugLines)
        << JoinLines(child.debugLines);
    EXPECT_EQ("ERROR: An invalid parameter was passed to a function\n", child.standardOutput);
}

// Raises before the first initialisation, while the library is up and after
// the last shutdown; the trace line needs no sink.
CHILD_SCENARIO(RaiseAroundInitialisation)
{
    if (g_initCount != 0 || g_trace != nullptr)
        return 1;
    try {
        throw CxException(0x3, 0, "before.cpp", 1);
    } catch (const CxException&) {
    }
    if (LumaretInitialize() != 0)
        return 2;
    try {
        throw CxException(0x3, 0, "during.cpp", 2);
    } catch (const CxException&) {
    }
    LumaretUninitialize();
    try {
        throw CxException(0x3, 0, "after.cpp", 3);
    } catch (const CxException&) {
    }
    return 0;
}

TEST(ExceptionTrace, IsWrittenWithOrWithoutAnInitialisedLibrary)
{
    DebugCapture child = RunChildScenario("RaiseAroundInitialisation");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);
    const std::vector<std::string> expected = {
        "Trace: Exception thrown in file before.cpp(1)\n",
        "Trace: Exception thrown in file during.cpp(2)\n",
        "Trace: Exception thrown in file after.cpp(3)\n",
    };
    EXPECT_EQ(expected, child.debugLines) << JoinLines(child.debugLines);
}

// An exception raised while another one reports (here from inside the message
// box) reports in full without heap strings and travels in place of the first.
int WINAPI RaiseFromMessageBox(HWND, LPCSTR, LPCSTR, UINT)
{
    throw CxException(0x190004, 2, "D:\\registry.cpp", 267);
}

CHILD_SCENARIO(RaiseInsideAReport)
{
    g_reportMessageBox = RaiseFromMessageBox;
    try {
        throw CxException(0xA0005, 0x101, "outer.cpp", 5);
    } catch (const CxException& e) {
        return e.m_flags == 0x190004 && e.m_code == 2 && e.m_line == 267 ? 0 : 1;
    }
    return 2;
}

TEST(NestedReport, IsCompleteAndItsExceptionReplacesTheOuterOne)
{
    DebugCapture child = RunChildScenario("RaiseInsideAReport");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);
    const std::vector<std::string> expected = {
        "Trace: Exception thrown in file outer.cpp(5)\n",
        "Trace: Exception thrown in file D:\\registry.cpp(267)\n",
    };
    EXPECT_EQ(expected, child.debugLines) << JoinLines(child.debugLines);
    EXPECT_EQ("registry.cpp (267): File not found.\r\n\n", child.standardOutput);
}

// Catches a raised exception as Class only and reads its line back.
template <typename Class> unsigned long CatchAs(unsigned long line)
{
    try {
        throw CxException(0x3, 0x80000002, "catch.cpp", line);
    } catch (const Class& caught) {
        const CxException* exception = dynamic_cast<const CxException*>(&caught);
        return exception != nullptr && exception->m_code == 0x80000002 ? exception->m_line : 0;
    } catch (...) {
        return 0;
    }
}

TEST(ExceptionClasses, ACxExceptionIsCaughtAsEachOfItsClasses)
{
    EXPECT_EQ(30ul, CatchAs<CxException>(30));
    EXPECT_EQ(31ul, CatchAs<CxObject>(31));
    EXPECT_EQ(32ul, CatchAs<CxUniqueObject>(32));
}

// The real message box: a second thread finds it, reads it and presses OK.
struct SeenBox {
    std::string text;
    int buttons = 0;
    HICON icon = nullptr;
    bool owned = false;
    bool bystanderEnabled = true;
};

BOOL CALLBACK ReadBoxChild(HWND child, LPARAM param)
{
    SeenBox* seen = reinterpret_cast<SeenBox*>(param);
    char className[64] = "";
    char text[512] = "";
    GetClassNameA(child, className, sizeof(className));
    GetWindowTextA(child, text, sizeof(text));
    if (lstrcmpiA(className, "Button") == 0)
        ++seen->buttons;
    else if (lstrcmpiA(className, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        seen->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    else if (lstrcmpiA(className, "Static") == 0 && text[0] != '\0')
        seen->text = text;
    return TRUE;
}

CHILD_SCENARIO(RealMessageBox)
{
    // A top-level window of the raising thread: a task-modal box disables it.
    HWND bystander = CreateWindowExA(0, "STATIC", "bystander", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    SeenBox seen;
    HWND found = nullptr;
    std::thread watcher([&] {
        for (int attempt = 0; attempt < 1000 && found == nullptr; ++attempt) {
            found = FindWindowA("#32770", "Exception Error");
            if (found == nullptr)
                Sleep(20);
        }
        if (found == nullptr)
            return;
        Sleep(100); // let the box finish its initialisation
        EnumChildWindows(found, ReadBoxChild, reinterpret_cast<LPARAM>(&seen));
        seen.owned = GetWindow(found, GW_OWNER) != nullptr;
        seen.bystanderEnabled = IsWindowEnabled(bystander) != FALSE;
        PostMessageA(found, WM_COMMAND, IDOK, 0);
    });

    int caught = 0;
    try {
        throw CxException(0x20005, 0x101, "box.cpp", 40);
    } catch (const CxException&) {
        ++caught;
    }
    watcher.join();
    bool bystanderEnabledAfter = IsWindowEnabled(bystander) != FALSE;
    DestroyWindow(bystander);

    printf("found=%d caught=%d\n", found != nullptr, caught);
    printf("text=%s\n", seen.text.c_str());
    printf("buttons=%d owned=%d\n", seen.buttons, seen.owned);
    printf("error icon=%d\n", seen.icon != nullptr && seen.icon == LoadIconA(nullptr, IDI_ERROR));
    printf("bystander while open=%d after=%d\n", seen.bystanderEnabled, bystanderEnabledAfter);
    return 0;
}

TEST(ExceptionMessageBox, IsATaskModalErrorBoxWithOneButtonThatBlocksUntilClosed)
{
    DebugCapture child = RunChildScenario("RealMessageBox");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);
    EXPECT_EQ("found=1 caught=1\n"
              "text=File not found\n"
              "buttons=1 owned=0\n"
              "error icon=1\n"
              "bystander while open=0 after=1\n",
              child.standardOutput);
}

} // namespace
