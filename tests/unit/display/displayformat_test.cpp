// Display pixel-format detection against scripted displays: the depth table,
// the 16-bit measurement and the clean-up of every failure, call by call.
#include "displayseam.h"
#include "lumaret.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// Handles the scripted display hands out; any value the code invents shows up
// in the log as "?".
HDC const kScreen = reinterpret_cast<HDC>(0x2000);
HDC const kMemory = reinterpret_cast<HDC>(0x3000);
HBITMAP const kBitmap = reinterpret_cast<HBITMAP>(0x4000);
HGDIOBJ const kPrevious = reinterpret_cast<HGDIOBJ>(0x5000);

// What a channel reads back for the level written into it.
typedef std::function<int(int level)> ChannelModel;

ChannelModel Bits(int bits)
{
    return [bits](int level) { return level & ~((1 << (8 - bits)) - 1); };
}

// A channel with exactly `runs` runs: the level scaled down to 0..runs-1.
ChannelModel Runs(int runs)
{
    return [runs](int level) { return level * runs / 256 * 4; };
}

// A channel that alternates between two values on every write.
ChannelModel Flicker()
{
    return [](int level) { return (level & 1) ? 8 : 0; };
}

struct ScriptedDisplay {
    bool screenDc = true;
    int planes = 1;
    int bitsPerPixel = 16;
    bool memoryDc = true;
    bool bitmap = true;
    bool select = true;
    bool pixelReadFails = false;
    ChannelModel red = Bits(5), green = Bits(5), blue = Bits(5);

    // Every call but the pixel traffic, in order; the pixel traffic appears
    // once as "<pixels>" and is kept whole in `pixels`.
    std::vector<std::string> calls;
    std::vector<std::string> pixels;
    int desktopCalls = 0;
    COLORREF written = 0;
};

ScriptedDisplay* s_display = nullptr;

std::string Name(const void* handle)
{
    if (handle == kScreen)
        return "screen";
    if (handle == kMemory)
        return "memory";
    if (handle == kBitmap)
        return "bitmap";
    if (handle == kPrevious)
        return "previous";
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value >= 0x1001 && value <= 0x1009)
        return "desktop" + std::to_string(value - 0x1000);
    return "?";
}

void Log(const std::string& call)
{
    s_display->calls.push_back(call);
}

void LogPixel(const std::string& call)
{
    if (s_display->pixels.empty())
        Log("<pixels>");
    s_display->pixels.push_back(call);
}

HWND WINAPI FakeGetDesktopWindow()
{
    int n = ++s_display->desktopCalls;
    Log("GetDesktopWindow -> desktop" + std::to_string(n));
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + n));
}

HDC WINAPI FakeGetDC(HWND window)
{
    Log("GetDC(" + Name(window) + ")");
    return s_display->screenDc ? kScreen : nullptr;
}

int WINAPI FakeReleaseDC(HWND window, HDC dc)
{
    Log("ReleaseDC(" + Name(window) + ", " + Name(dc) + ")");
    return 1;
}

int WINAPI FakeGetDeviceCaps(HDC dc, int index)
{
    if (index == PLANES) {
        Log("GetDeviceCaps(" + Name(dc) + ", PLANES)");
        return s_display->planes;
    }
    if (index == BITSPIXEL) {
        Log("GetDeviceCaps(" + Name(dc) + ", BITSPIXEL)");
        return s_display->bitsPerPixel;
    }
    Log("GetDeviceCaps(" + Name(dc) + ", " + std::to_string(index) + ")");
    return 0;
}

HDC WINAPI FakeCreateCompatibleDC(HDC dc)
{
    Log("CreateCompatibleDC(" + Name(dc) + ")");
    return s_display->memoryDc ? kMemory : nullptr;
}

HBITMAP WINAPI FakeCreateCompatibleBitmap(HDC dc, int width, int height)
{
    Log("CreateCompatibleBitmap(" + Name(dc) + ", " + std::to_string(width) + ", " + std::to_string(height) + ")");
    return s_display->bitmap ? kBitmap : nullptr;
}

HGDIOBJ WINAPI FakeSelectObject(HDC dc, HGDIOBJ object)
{
    Log("SelectObject(" + Name(dc) + ", " + Name(object) + ")");
    if (object == kBitmap)
        return s_display->select ? kPrevious : nullptr;
    return kBitmap;
}

COLORREF WINAPI FakeSetPixel(HDC dc, int x, int y, COLORREF colour)
{
    char text[64];
    snprintf(text, sizeof(text), "SetPixel(%s, %d, %d, 0x%06lX)", Name(dc).c_str(), x, y,
             static_cast<unsigned long>(colour));
    LogPixel(text);
    s_display->written = colour;
    return colour;
}

COLORREF WINAPI FakeGetPixel(HDC dc, int x, int y)
{
    char text[64];
    snprintf(text, sizeof(text), "GetPixel(%s, %d, %d)", Name(dc).c_str(), x, y);
    LogPixel(text);
    if (s_display->pixelReadFails)
        return CLR_INVALID;
    COLORREF w = s_display->written;
    return RGB(s_display->red(GetRValue(w)), s_display->green(GetGValue(w)), s_display->blue(GetBValue(w)));
}

BOOL WINAPI FakeDeleteObject(HGDIOBJ object)
{
    Log("DeleteObject(" + Name(object) + ")");
    return TRUE;
}

BOOL WINAPI FakeDeleteDC(HDC dc)
{
    Log("DeleteDC(" + Name(dc) + ")");
    return TRUE;
}

struct DisplayFormat {
    unsigned long format, red, green, blue;
};

bool operator==(const DisplayFormat& a, const DisplayFormat& b)
{
    return a.format == b.format && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

std::ostream& operator<<(std::ostream& out, const DisplayFormat& f)
{
    char text[80];
    snprintf(text, sizeof(text), "{0x%lX, %lu/%lu/%lu}", f.format, f.red, f.green, f.blue);
    return out << text;
}

// Runs the detection on the scripted display, starting from outputs that
// hold rubbish.
DisplayFormat Detect(ScriptedDisplay& display)
{
    s_display = &display;
    g_displayCalls = {FakeGetDesktopWindow,
                      FakeGetDC,
                      FakeReleaseDC,
                      FakeGetDeviceCaps,
                      FakeCreateCompatibleDC,
                      FakeCreateCompatibleBitmap,
                      FakeSelectObject,
                      FakeSetPixel,
                      FakeGetPixel,
                      FakeDeleteObject,
                      FakeDeleteDC};
    DisplayFormat result = {0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD};
    CxGetDisplayFormat(&result.format, &result.red, &result.green, &result.blue);
    g_displayCalls = g_realDisplayCalls;
    s_display = nullptr;
    return result;
}

typedef std::vector<std::string> Calls;

// A detection that has the screen's context: the context and its depth first,
// the release against a newly asked desktop window last.
Calls Sequence(const Calls& middle)
{
    Calls calls = {"GetDesktopWindow -> desktop1", "GetDC(desktop1)", "GetDeviceCaps(screen, PLANES)",
                   "GetDeviceCaps(screen, BITSPIXEL)"};
    calls.insert(calls.end(), middle.begin(), middle.end());
    calls.push_back("GetDesktopWindow -> desktop2");
    calls.push_back("ReleaseDC(desktop2, screen)");
    return calls;
}

const Calls kDepthOnly = Sequence({});
const Calls kMeasured =
    Sequence({"CreateCompatibleDC(screen)", "CreateCompatibleBitmap(screen, 1, 1)", "SelectObject(memory, bitmap)",
              "<pixels>", "SelectObject(memory, previous)", "DeleteObject(bitmap)", "DeleteDC(memory)"});

// ---------------------------------------------------------------------------

struct DepthCase {
    const char* name;
    int planes;
    int bitsPerPixel;
    DisplayFormat expected;
};

class DisplayDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(DisplayDepth, GivesItsFormatWithoutMeasuring)
{
    ScriptedDisplay display;
    display.planes = GetParam().planes;
    display.bitsPerPixel = GetParam().bitsPerPixel;
    EXPECT_EQ(GetParam().expected, Detect(display));
    EXPECT_EQ(kDepthOnly, display.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, DisplayDepth,
    testing::Values(DepthCase{"Depth0", 1, 0, {0, 0, 0, 0}}, DepthCase{"Depth1", 1, 1, {0x8000, 0, 0, 0}},
                    DepthCase{"Depth2", 1, 2, {0, 0, 0, 0}}, DepthCase{"Depth4", 1, 4, {0x8001, 0, 0, 0}},
                    DepthCase{"FourPlanesOfOneBit", 4, 1, {0x8001, 0, 0, 0}},
                    DepthCase{"Depth8", 1, 8, {0x8002, 0, 0, 0}}, DepthCase{"Depth15", 1, 15, {0, 0, 0, 0}},
                    DepthCase{"Depth24", 1, 24, {0x8005, 8, 8, 8}},
                    DepthCase{"ThreePlanesOfEightBits", 3, 8, {0x8005, 8, 8, 8}},
                    DepthCase{"Depth32", 1, 32, {0x8006, 8, 8, 8}}, DepthCase{"Depth48", 1, 48, {0, 0, 0, 0}},
                    DepthCase{"TwoPlanesOf32Bits", 2, 32, {0, 0, 0, 0}}),
    [](const testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------

struct ReadBackCase {
    const char* name;
    int planes;
    int bitsPerPixel;
    ChannelModel red, green, blue;
    DisplayFormat expected;
};

class SixteenBitReadBack : public testing::TestWithParam<ReadBackCase> {};

TEST_P(SixteenBitReadBack, IsMeasuredPerChannel)
{
    const ReadBackCase& c = GetParam();
    ScriptedDisplay display;
    display.planes = c.planes;
    display.bitsPerPixel = c.bitsPerPixel;
    display.red = c.red;
    display.green = c.green;
    display.blue = c.blue;
    EXPECT_EQ(c.expected, Detect(display));
    EXPECT_EQ(kMeasured, display.calls);
}

INSTANTIATE_TEST_SUITE_P(
    ReadBacks, SixteenBitReadBack,
    testing::Values(
        ReadBackCase{"Rgb555", 1, 16, Bits(5), Bits(5), Bits(5), {0x8003, 5, 5, 5}},
        ReadBackCase{"Rgb565", 1, 16, Bits(5), Bits(6), Bits(5), {0x8004, 5, 6, 5}},
        ReadBackCase{"Rgb444", 1, 16, Bits(4), Bits(4), Bits(4), {0, 4, 4, 4}},
        ReadBackCase{"Rgb655", 1, 16, Bits(6), Bits(5), Bits(5), {0, 6, 5, 5}},
        ReadBackCase{"Rgb888", 1, 16, Bits(8), Bits(8), Bits(8), {0, 8, 8, 8}},
        ReadBackCase{"FortyRunsCountAsFiveBits", 1, 16, Runs(40), Bits(6), Bits(5), {0x8004, 5, 6, 5}},
        ReadBackCase{"ThirtyOneRunsCountAsFourBits", 1, 16, Bits(5), Bits(5), Runs(31), {0, 5, 5, 4}},
        ReadBackCase{"ThirtyTwoRunsCountAsFiveBits", 1, 16, Runs(32), Runs(32), Runs(32), {0x8003, 5, 5, 5}},
        ReadBackCase{"SixtyThreeRunsCountAsFiveBits", 1, 16, Runs(63), Bits(5), Bits(5), {0x8003, 5, 5, 5}},
        ReadBackCase{"EveryChangeIsARun", 1, 16, Flicker(), Bits(5), Bits(5), {0, 8, 5, 5}},
        ReadBackCase{"OneToThreeRuns", 1, 16, Runs(1), Runs(2), Runs(3), {0, 0, 1, 1}},
        ReadBackCase{"TwoPlanesOfEightBitsAreMeasured", 2, 8, Bits(5), Bits(6), Bits(5), {0x8004, 5, 6, 5}}),
    [](const testing::TestParamInfo<ReadBackCase>& info) { return std::string(info.param.name); });

TEST(SixteenBitProbe, WritesEveryGreyLevelAndReadsItBackFromTheMemoryContext)
{
    ScriptedDisplay display;
    Detect(display);
    ASSERT_EQ(512u, display.pixels.size());
    for (int level = 0; level < 256; ++level) {
        char set[64];
        snprintf(set, sizeof(set), "SetPixel(memory, 0, 0, 0x%02X%02X%02X)", level, level, level);
        ASSERT_EQ(set, display.pixels[2 * level]) << "level " << level;
        ASSERT_EQ("GetPixel(memory, 0, 0)", display.pixels[2 * level + 1]) << "level " << level;
    }
}

TEST(SixteenBitProbe, ReadsThatFailEveryTimeGiveNoBits)
{
    ScriptedDisplay display;
    display.pixelReadFails = true;
    EXPECT_EQ((DisplayFormat{0, 0, 0, 0}), Detect(display));
    EXPECT_EQ(kMeasured, display.calls);
}

// ---------------------------------------------------------------------------

enum FailingCall { NoFailure, ScreenContext, MemoryContext, Bitmap, Selection };

struct FailureCase {
    const char* name;
    FailingCall failing;
    Calls expected;
};

class DisplayFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(DisplayFailure, LeavesZeroAndCleansUpInOrder)
{
    ScriptedDisplay display;
    display.screenDc = GetParam().failing != ScreenContext;
    display.memoryDc = GetParam().failing != MemoryContext;
    display.bitmap = GetParam().failing != Bitmap;
    display.select = GetParam().failing != Selection;
    EXPECT_EQ((DisplayFormat{0, 0, 0, 0}), Detect(display));
    EXPECT_EQ(GetParam().expected, display.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DisplayFailure,
    testing::Values(FailureCase{"NoScreenContext", ScreenContext, {"GetDesktopWindow -> desktop1", "GetDC(desktop1)"}},
                    FailureCase{"NoMemoryContext", MemoryContext, Sequence({"CreateCompatibleDC(screen)"})},
                    FailureCase{"NoBitmap", Bitmap,
                                Sequence({"CreateCompatibleDC(screen)", "CreateCompatibleBitmap(screen, 1, 1)",
                                          "DeleteDC(memory)"})},
                    FailureCase{
                        "SelectionFails", Selection,
                        Sequence({"CreateCompatibleDC(screen)", "CreateCompatibleBitmap(screen, 1, 1)",
                                  "SelectObject(memory, bitmap)", "DeleteObject(bitmap)", "DeleteDC(memory)"})}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

} // namespace
