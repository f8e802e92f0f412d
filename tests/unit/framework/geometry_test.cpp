// Pure parts of the framework: titles and help paths from module paths, the
// geometry of centring, and which templates place their dialog themselves.
#include "framework.h"
#include "testdialogs.h"

#include <gtest/gtest.h>

namespace {

struct PathCase {
    const char* path;
    const char* title;
    const char* helpFile;
};

TEST(ModulePaths, TitleIsTheFileNameWithoutExtensionAndHelpFileReplacesTheExtension)
{
    const PathCase cases[] = {
        {"C:\\Program Files\\Ferrotune\\Ferrotune.exe", "Ferrotune", "C:\\Program Files\\Ferrotune\\Ferrotune.HLP"},
        {"Z:/work/build/bin/Ferrotune.exe", "Ferrotune", "Z:/work/build/bin/Ferrotune.HLP"},
        {"C:Ferrotune.exe", "Ferrotune", "C:Ferrotune.HLP"},
        {"C:\\tools\\app.test.exe", "app.test", "C:\\tools\\app.test.HLP"},
        {"C:\\v1.2\\tool", "tool", "C:\\v1.2\\tool.HLP"},
        {"C:\\a/b\\c:d.exe", "d", "C:\\a/b\\c:d.HLP"},
        {"Ferrotune.EXE", "Ferrotune", "Ferrotune.HLP"},
        {"noext", "noext", "noext.HLP"},
    };
    for (const PathCase& c : cases) {
        char text[MAX_PATH + 4];
        FwAppTitleFromModulePath(c.path, text, sizeof(text));
        EXPECT_STREQ(c.title, text) << c.path;
        FwHelpFilePath(c.path, text, sizeof(text));
        EXPECT_STREQ(c.helpFile, text) << c.path;
    }
}

struct ImageCase {
    RECT client;
    int width, height;
    LONG x, y;
};

TEST(CentredImageOrigin, HalvesTheSpareRoomPlusOneTruncatingTowardZero)
{
    const ImageCase cases[] = {
        {{0, 0, 32, 32}, 32, 32, 0, 0},     {{0, 0, 101, 32}, 32, 32, 35, 0},
        {{0, 0, 30, 32}, 32, 32, 0, 0},     // (30 - 32 + 1) / 2 is 0, not -1
        {{0, 0, 28, 28}, 32, 32, -1, -1},   // -3 / 2 is -1, not -2
        {{0, 0, 27, 160}, 32, 32, -2, 64},  // -4 / 2; (160 - 32 + 1) / 2
        {{10, 20, 111, 52}, 32, 32, 35, 0}, // only the extents count
        {{0, 0, 100, 60}, 16, 16, 42, 22},
    };
    for (const ImageCase& c : cases) {
        const POINT origin = FwCentredImageOrigin(c.client, c.width, c.height);
        EXPECT_EQ(c.x, origin.x) << "client " << c.client.right - c.client.left << " wide";
        EXPECT_EQ(c.y, origin.y) << "client " << c.client.bottom - c.client.top << " high";
    }
}

struct WindowCase {
    const char* what;
    RECT window, around, area;
    LONG x, y;
};

TEST(CentredWindowOrigin, CentresThenKeepsTheWindowInsideTheWorkArea)
{
    const RECT screen = {0, 0, 1024, 768};
    const WindowCase cases[] = {
        {"centred in the work area", {0, 0, 524, 336}, screen, screen, 250, 216},
        {"work area below a top bar", {0, 0, 200, 100}, {0, 40, 1024, 768}, {0, 40, 1024, 768}, 412, 354},
        {"centred over an owner", {0, 0, 200, 100}, {100, 100, 500, 300}, screen, 200, 150},
        {"pushed back from the right and bottom", {0, 0, 300, 200}, {800, 600, 1000, 760}, screen, 724, 568},
        {"pushed back from the left and top", {0, 0, 300, 200}, {-100, -50, 100, 50}, screen, 0, 0},
        {"larger than the area keeps its left and top edges in", {0, 0, 1200, 900}, screen, screen, 0, 0},
        {"window's own position does not count", {500, 500, 700, 600}, screen, screen, 412, 334},
    };
    for (const WindowCase& c : cases) {
        const POINT origin = FwCentredWindowOrigin(c.window, c.around, c.area);
        EXPECT_EQ(c.x, origin.x) << c.what;
        EXPECT_EQ(c.y, origin.y) << c.what;
    }
}

const void* TestTemplate(UINT id)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)); // RT_DIALOG
    return resource != nullptr ? LockResource(LoadResource(module, resource)) : nullptr;
}

TEST(DialogTemplates, APositionOrACentringStylePlacesTheDialog)
{
    const struct {
        UINT id;
        bool places;
    } cases[] = {
        {IDD_PLAIN, false},    {IDD_PLACED, true},    {IDD_CENTER_STYLE, true},
        {IDD_PLAIN_EX, false}, {IDD_PLACED_EX, true}, {IDD_WIDE, false},
    };
    for (const auto& c : cases) {
        const void* dialogTemplate = TestTemplate(c.id);
        ASSERT_NE(nullptr, dialogTemplate) << c.id;
        EXPECT_EQ(c.places, FwTemplatePlacesDialog(dialogTemplate)) << "template " << c.id;
    }
}

} // namespace
