// The system menu of the "Codec Configuration" dialog and the About box it
// leads to.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const char kAboutCaption[] = "About Ferrotune";
const char kVersionText[] = "Ferrotune Version 1.01";

// Runs the About box that is open over dialog through its checks and closes it
// with its OK button.
void CheckAndCloseAboutBox(FerrotuneRun& run, HWND dialog, HWND about)
{
    EXPECT_EQ(dialog, GetWindow(about, GW_OWNER)) << "the About box belongs to the main dialog";
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "the About box is modal";
    std::vector<std::string> texts = StaticTexts(about);
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), kVersionText));
    HWND ok = FindChild(about, "Button", "OK");
    ASSERT_NE(nullptr, ok);
    EXPECT_EQ(IDOK, GetDlgCtrlID(ok));
    Click(ok);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about) && IsWindowEnabled(dialog); }));
    EXPECT_TRUE(TopLevelWindows(run.ProcessId(), kAboutCaption).empty());
}

class SystemMenu : public Scenario {};

// The entry is the last item, after a separator; choosing it from the keyboard
// (Alt+Space, Up to wrap to the last item, Enter) opens the About box.
TEST_F(SystemMenu, EndsWithSeparatorAndAboutEntryThatOpensTheAboutBox)
{
    CompressorLog log;
    FerrotuneRun run(log);
    ASSERT_TRUE(run.Started()) << FerrotunePath();
    HWND dialog = run.WaitForDialog();
    ASSERT_NE(nullptr, dialog);

    // The compressor's settings dialog reads its owner's system menu from
    // inside the program.
    Click(GetDlgItem(dialog, 1000));
    HWND settings = run.WaitForVisibleWindow("QV4Z Stand-in Settings");
    ASSERT_NE(nullptr, settings) << log.Text();
    Click(FindChild(settings, "Button", "OK"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(settings) && IsWindowEnabled(dialog); }));

    std::vector<MenuItem> items = log.OwnerSystemMenu();
    ASSERT_GE(items.size(), 3u) << log.Text();
    const MenuItem& last = items[items.size() - 1];
    const MenuItem& beforeLast = items[items.size() - 2];
    EXPECT_TRUE(beforeLast.separator) << log.Text();
    EXPECT_FALSE(last.separator);
    EXPECT_EQ(0x0010u, last.id);
    EXPECT_EQ("&About Ferrotune...", last.text);
    size_t entries = 0;
    for (const MenuItem& item : items)
        entries += item.id == 0x0010 ? 1 : 0;
    EXPECT_EQ(1u, entries) << "the entry is appended once\n" << log.Text();

    ASSERT_TRUE(OpenSystemMenu(dialog));
    PressKey(dialog, VK_UP);
    PressKey(dialog, VK_RETURN);
    HWND about = run.WaitForVisibleWindow(kAboutCaption);
    ASSERT_NE(nullptr, about);
    CheckAndCloseAboutBox(run, dialog, about);

    Click(GetDlgItem(dialog, IDOK));
    EXPECT_TRUE(run.WaitForExit());
}

struct Command {
    WPARAM id;
    bool opensAbout;
};

// Every id whose low 16 bits lie in 0x0010..0x001F opens the About box; all
// others go to the default processing. SC_CLOSE comes last: it ends the run.
const Command kCommands[] = {
    {0x0010, true},  {0x0013, true},  {0x001F, true},  {0x10015, true},
    {0x000F, false}, {0x0020, false}, {0x0110, false}, {SC_CLOSE, false},
};

class SystemCommands : public Scenario {};

TEST_F(SystemCommands, OpenTheAboutBoxOnlyForItsRange)
{
    CompressorLog log;
    FerrotuneRun run(log);
    ASSERT_TRUE(run.Started()) << FerrotunePath();
    HWND dialog = run.WaitForDialog();
    ASSERT_NE(nullptr, dialog);

    for (const Command& command : kCommands) {
        SCOPED_TRACE(testing::Message() << "WM_SYSCOMMAND 0x" << std::hex << command.id);
        if (command.opensAbout) {
            PostSystemCommand(dialog, command.id);
            HWND about = run.WaitForVisibleWindow(kAboutCaption);
            ASSERT_NE(nullptr, about);
            CheckAndCloseAboutBox(run, dialog, about);
        } else {
            // Sent, not posted: once the call has returned, an About box it
            // opened would still be open (it is modal), so its absence is final.
            DWORD_PTR result = 0;
            EXPECT_NE(0, SendMessageTimeoutA(dialog, WM_SYSCOMMAND, command.id, 0, SMTO_NORMAL, 20000, &result))
                << "the command did not return";
            EXPECT_TRUE(TopLevelWindows(run.ProcessId(), kAboutCaption).empty());
        }
    }
    // The last command, SC_CLOSE, closes the dialog as the close box does.
    EXPECT_TRUE(run.WaitForExit());
    EXPECT_TRUE(ClosedExactlyOnce(log));
}

} // namespace
