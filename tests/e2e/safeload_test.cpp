// The compressor manager comes from the system directory only: a DLL named
// msvfw32.dll planted beside the program is never loaded, and a program that
// cannot load the manager at all reports the codec as missing.
#include "harness.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

const char kPlantedLine[] = "planted msvfw32.dll loaded\n";
const char kCodecMissing[] = "Codec not detected. Please make sure the codec is properly installed.";
// Load orders for msvfw32.dll: a copy found on the search path before Wine's
// own, as Windows does for a DLL that is not a known DLL; or none at all.
const char kPreferPlanted[] = "native,builtin";
const char kDisabled[] = "";

// A Wine DLL override for one program name, for the life of the object.
class DllOverride {
public:
    DllOverride(const char* program, const char* loadOrder)
        : m_key(std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides")
    {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(key, "msvfw32", 0, REG_SZ, reinterpret_cast<const BYTE*>(loadOrder), strlen(loadOrder) + 1);
            RegCloseKey(key);
        }
    }
    ~DllOverride() { RegDeleteKeyA(HKEY_CURRENT_USER, m_key.c_str()); }
    DllOverride(const DllOverride&) = delete;
    DllOverride& operator=(const DllOverride&) = delete;

private:
    std::string m_key;
};

// The planted folder: the planted DLL and the probe are built there; the
// program is copied in beside them.
std::string PlantedFolder()
{
    return ThisProgramFolder() + "planted\\";
}

// The process's visible top-level window with the caption; null on timeout.
HWND WaitForVisible(const Debuggee& program, const char* caption)
{
    HWND window = nullptr;
    WaitUntil([&] {
        std::vector<HWND> found = TopLevelWindows(program.ProcessId(), caption);
        window = found.empty() ? nullptr : found.front();
        return window != nullptr && IsWindowVisible(window);
    });
    return window;
}

class PlantedCompressorManager : public Scenario {
protected:
    void SetUp() override
    {
        Scenario::SetUp();
        m_program = PlantedFolder() + "Ferrotune.exe";
        ASSERT_TRUE(CopyFileA(FerrotunePath().c_str(), m_program.c_str(), FALSE)) << m_program;
    }

    std::string m_program;
};

// Without this the other tests would prove nothing: in this set-up a plain
// load by name does take the planted copy.
TEST_F(PlantedCompressorManager, ALoadByNameTakesThePlantedCopy)
{
    DllOverride preferPlanted("loadprobe.exe", kPreferPlanted);
    DebugCapture probe = RunUnderDebugger("\"" + PlantedFolder() + "loadprobe.exe\"", kWaitMs);
    ASSERT_TRUE(probe.finished);
    EXPECT_EQ(0ul, probe.exitCode);
    EXPECT_TRUE(HasLine(probe.debugLines, kPlantedLine));
}

TEST_F(PlantedCompressorManager, FerrotuneLoadsTheSystemCopyAndFindsTheCompressor)
{
    DllOverride preferPlanted("Ferrotune.exe", kPreferPlanted);
    Debuggee program;
    ASSERT_TRUE(program.Start("\"" + m_program + "\""));
    HWND dialog = WaitForVisible(program, kDialogCaption);
    ASSERT_NE(nullptr, dialog);

    // Both buttons enabled: the system's compressor manager found the stand-in.
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1000)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1001)));

    Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(program.WaitForExit(kWaitMs));
    EXPECT_FALSE(HasLine(program.DebugLines(), kPlantedLine));
}

TEST_F(PlantedCompressorManager, WithoutACompressorManagerTheCodecIsReportedMissing)
{
    DllOverride noManager("Ferrotune.exe", kDisabled);
    Debuggee program;
    ASSERT_TRUE(program.Start("\"" + m_program + "\""));
    HWND box = WaitForVisible(program, "Ferrotune");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(nullptr, FindChild(box, "Static", kCodecMissing));
    Click(GetDlgItem(box, IDOK));

    HWND dialog = WaitForVisible(program, kDialogCaption);
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1000)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1001)));
    Click(GetDlgItem(dialog, IDOK));
    ASSERT_TRUE(program.WaitForExit(kWaitMs));
    EXPECT_FALSE(HasLine(program.DebugLines(), kPlantedLine));
}

} // namespace
