// Pure parts of the framework: titles and help paths from module paths, the
// geometry of centring, and which templates place their dialog themselves.
#include "framework.h"
#include "testdialogs.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

const size_t kRoomy = MAX_PATH + 4; // as the application object's buffers
const char kNothing[] = "(nothing written)";

// What a path function writes into a buffer of the given size at the start of
// a roomy one filled with '#': its text, or kNothing. A byte written past the
// given size fails the test.
std::string Written(void (*function)(const char*, char*, size_t), const char* path, size_t size)
{
    char buffer[kRoomy + 1];
    memset(buffer, '#', kRoomy);
    buffer[kRoomy] = '\0';
    function(path, buffer, size);
    EXPECT_EQ(std::string(kRoomy - size, '#'), buffer + size) << "written past " << size << " bytes for " << path;
    return memchr(buffer, '\0', size) != nullptr ? std::string(buffer) : kNothing;
}

struct PathCase {
    const char* path;
    size_t size; // of the buffer
    const char* title;
    const char* helpFile;
};

TEST(ModulePaths, TitleIsTheFileNameWithoutExtensionAndHelpFileReplacesTheExtension)
{
    const PathCase cases[] = {
        {"C:\\Program Files\\Ferrotune\\Ferrotune.exe", kRoomy, "Ferrotune",
         "C:\\Program Files\\Ferrotune\\Ferrotune.HLP"},
        {"Z:/work/build/bin/Ferrotune.exe", kRoomy, "Ferrotune", "Z:/work/build/bin/Ferrotune.HLP"},
        {"C:Ferrotune.exe", kRoomy, "Ferrotune", "C:Ferrotune.HLP"},
        {"C:\\tools\\app.test.exe", kRoomy, "app.test", "C:\\tools\\app.test.HLP"},
        {"C:\\v1.2\\tool", kRoomy, "tool", "C:\\v1.2\\tool.HLP"},
        {"C:\\a/b\\c:d.exe", kRoomy, "d", "C:\\a/b\\c:d.HLP"},
        {"Ferrotune.EXE", kRoomy, "Ferrotune", "Ferrotune.HLP"},
        {"noext", kRoomy, "noext", "noext.HLP"},
        {"", kRoomy, "", ""}, // no module path names no help file
        // Small buffers: the title is cut; a help path that does not fit whole
        // is no path at all, as a cut one would name another file.
        {"C:\\tools\\Ferrotune.exe", 23, "Ferrotune", "C:\\tools\\Ferrotune.HLP"},
        {"C:\\tools\\Ferrotune.exe", 22, "Ferrotune", ""},
        {"C:\\tools\\Ferrotune.exe", 5, "Ferr", ""},
        {"C:\\tools\\Ferrotune.exe", 0, kNothing, kNothing},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(c.title, Written(FwAppTitleFromModulePath, c.path, c.size)) << c.path << " in " << c.size;
        EXPECT_EQ(c.helpFile, Written(FwHelpFilePath, c.path, c.size)) << c.path << " in " << c.size;
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
