// The display format that initialisation records on a real virtual display.
// tools/wine-depth.sh runs this program on an X display of the depth it names
// in FERROTUNE_XDEPTH; Wine shows a 16-bit X display as 16 bits per pixel
// whose grey levels read back as 5-5-5, and a 24-bit one as 32 bits per pixel.
#include "lumaret.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

struct RealDisplay {
    int xDepth;
    int bitsPerPixel; // what Wine reports for the screen
    unsigned long format, red, green, blue;
};

const RealDisplay kDisplays[] = {
    {16, 16, 0x8003, 5, 5, 5},
    {24, 32, 0x8006, 8, 8, 8},
};

const RealDisplay* ThisDisplay()
{
    const char* depth = getenv("FERROTUNE_XDEPTH");
    if (depth == nullptr)
        return nullptr;
    for (const RealDisplay& display : kDisplays)
        if (display.xDepth == atoi(depth))
            return &display;
    return nullptr;
}

TEST(RealDisplay, InitialisationRecordsTheMeasuredFormat)
{
    const RealDisplay* expected = ThisDisplay();
    ASSERT_NE(nullptr, expected) << "run through tools/wine-depth.sh with depth 16 or 24";

    HDC screen = GetDC(GetDesktopWindow());
    ASSERT_NE(nullptr, screen);
    int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(GetDesktopWindow(), screen);
    ASSERT_EQ(expected->bitsPerPixel, depth) << "the program did not run on the display it was given";

    ASSERT_EQ(0ul, LumaretInitialize());
    printf("X depth %d: screen %d bits per pixel, format 0x%lX, red %lu, green %lu, blue %lu\n", expected->xDepth,
           depth, g_pixelFormat, g_redBits, g_greenBits, g_blueBits);
    EXPECT_EQ(expected->format, g_pixelFormat);
    EXPECT_EQ(expected->red, g_redBits);
    EXPECT_EQ(expected->green, g_greenBits);
    EXPECT_EQ(expected->blue, g_blueBits);
    EXPECT_EQ(0ul, LumaretUninitialize());
}

} // namespace
