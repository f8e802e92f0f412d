// The framework's entry point and application object, seen from outside: a
// probe program runs under the debugger and says what its hooks saw.
#include "debuggee.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

const char kProbe[] = "fwprobe.exe";

// The probe under the given file name, in this program's folder (a copy for
// every name but its own).
std::string ProbeCopy(const std::string& fileName)
{
    const std::string copy = ThisProgramFolder() + fileName;
    if (fileName != kProbe && !CopyFileA((ThisProgramFolder() + kProbe).c_str(), copy.c_str(), FALSE))
        ADD_FAILURE() << "cannot copy the probe to " << copy;
    return copy;
}

DebugCapture RunProbe(const std::string& path, const char* mode)
{
    return RunUnderDebugger("\"" + path + "\" " + mode, 60000);
}

TEST(EntryPoint, RunsInitInstanceThenExitInstanceAndEndsWithItsResult)
{
    const struct {
        const char* mode;
        DWORD exitCode;
        std::vector<std::string> lines;
        const char* errorOutput; // what the terminate handler says
    } cases[] = {
        {"none", 0, {"init", "exit"}, ""}, // FALSE: no message loop, straight to ExitInstance
        {"loop", 7, {"init", "exit"}, ""}, // TRUE: the loop runs until WM_QUIT, whose code ExitInstance gives back
        // An uncaught exception aborts the program at once, exit code 3.
        {"throw", 3, {"init"}, "terminate called: an exception was not caught\n"},
        // So does a terminate without any exception, and says so.
        {"terminate", 3, {"init"}, "terminate called: no exception is active\n"},
    };
    for (const auto& c : cases) {
        const DebugCapture run = RunProbe(ProbeCopy(kProbe), c.mode);
        ASSERT_TRUE(run.finished) << c.mode;
        EXPECT_EQ(c.exitCode, run.exitCode) << c.mode;
        EXPECT_EQ(c.lines, run.debugLines) << c.mode;
        EXPECT_EQ(c.errorOutput, run.standardOutput) << c.mode;
    }
}

TEST(EntryPoint, DefaultTitleIsTheExecutablesNameWithoutExtension)
{
    const struct {
        const char* fileName;
        const char* title;
        const char* helpFile;
    } cases[] = {
        {"fwprobe.exe", "fwprobe", "fwprobe.HLP"},
        {"Probe.Dotted.Name.exe", "Probe.Dotted.Name", "Probe.Dotted.Name.HLP"},
    };
    for (const auto& c : cases) {
        const std::string path = ProbeCopy(c.fileName);
        const DebugCapture run = RunProbe(path, "title");
        ASSERT_TRUE(run.finished) << c.fileName;
        const std::vector<std::string> expected = {"init", std::string("title ") + c.title,
                                                   "help " + ThisProgramFolder() + c.helpFile, "exit"};
        EXPECT_EQ(expected, run.debugLines) << c.fileName;
    }
}

// Wine reports an old window system to a program named in AppDefaults.
class OldWindowsVersion {
public:
    explicit OldWindowsVersion(const std::string& programName) : m_key("Software\\Wine\\AppDefaults\\" + programName)
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win31"), 6);
            RegCloseKey(key);
        }
    }
    ~OldWindowsVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, m_key.c_str()); }

private:
    std::string m_key;
};

struct Ctl3dReport {
    int result = -1;
    unsigned major = 0;
    int loaded = -1;
};

// The probe's "3d" line, from a run that must have said init, 3d, exit.
Ctl3dReport Read3dLine(const DebugCapture& run)
{
    Ctl3dReport report;
    EXPECT_TRUE(run.finished);
    if (run.debugLines.size() != 3 ||
        sscanf(run.debugLines[1].c_str(), "3d %d %u %d", &report.result, &report.major, &report.loaded) != 3)
        ADD_FAILURE() << "unexpected probe output:\n" << ::testing::PrintToString(run.debugLines);
    return report;
}

TEST(Enable3dControlsStatic, LoadsCtl3dOnlyBeforeMajorVersion4)
{
    const Ctl3dReport current = Read3dLine(RunProbe(ProbeCopy(kProbe), "3d"));
    ASSERT_GE(current.major, 4u);
    EXPECT_EQ(1, current.result) << "a current version does nothing and succeeds";
    EXPECT_EQ(0, current.loaded) << "a current version does nothing and succeeds";

    const std::string oldProgram = ProbeCopy("fwprobe31.exe");
    OldWindowsVersion win31("fwprobe31.exe");
    const Ctl3dReport old = Read3dLine(RunProbe(oldProgram, "3d"));
    ASSERT_EQ(3u, old.major);
    EXPECT_EQ(1, old.result) << "version 3 registers the program with CTL3D";
    EXPECT_EQ(1, old.loaded) << "version 3 loads CTL3D at run time";
}

} // namespace
