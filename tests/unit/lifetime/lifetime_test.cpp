// Reference-counted start-up and shut-down of the library.
#include "lumaret.h"

#include <gtest/gtest.h>

namespace {

// Every test starts and ends with the library down.
class Lifetime : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0ul, g_initCount); }
    void TearDown() override
    {
        while (g_initCount != 0)
            LumaretUninitialize();
        g_libraryMagic = CX_LIBRARY_MAGIC;
    }
};

TEST_F(Lifetime, NestedInitialisationsShareOneSinkAndTheLastShutdownDestroysIt)
{
    EXPECT_EQ(0ul, LumaretInitialize());
    CxTrace* sink = g_trace;
    ASSERT_NE(nullptr, sink);
    EXPECT_EQ(0ul, LumaretInitialize());
    EXPECT_EQ(sink, g_trace);
    EXPECT_EQ(2ul, g_initCount);

    EXPECT_EQ(0ul, LumaretUninitialize());
    EXPECT_EQ(sink, g_trace);
    EXPECT_EQ(1ul, g_initCount);
    EXPECT_EQ(0ul, LumaretUninitialize());
    EXPECT_EQ(nullptr, g_trace);
    EXPECT_EQ(1ul, LumaretUninitialize());
    EXPECT_EQ(0ul, g_initCount);
}

TEST_F(Lifetime, ShutdownOfALibraryNeverStartedReturnsOne)
{
    EXPECT_EQ(1ul, LumaretUninitialize());
    EXPECT_EQ(0ul, g_initCount);
}

TEST_F(Lifetime, WrongMagicWordFailsEveryTimeAndLeavesTheLibraryDown)
{
    g_libraryMagic = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(0x80000001ul, LumaretInitialize());
        EXPECT_EQ(0ul, g_initCount);
        EXPECT_EQ(nullptr, g_trace);
    }
    g_libraryMagic = 0x76543210;
    EXPECT_EQ(0ul, LumaretInitialize());
}

TEST_F(Lifetime, NestedInitialisationDoesNotLookAtTheMagicWord)
{
    ASSERT_EQ(0ul, LumaretInitialize());
    g_libraryMagic = 0;
    EXPECT_EQ(0ul, LumaretInitialize());
    EXPECT_EQ(2ul, g_initCount);
}

TEST_F(Lifetime, CounterAtItsMaximumRefusesAndStays)
{
    g_initCount = 0xFFFFFFFF;
    EXPECT_EQ(0x80000000ul, LumaretInitialize());
    EXPECT_EQ(0xFFFFFFFFul, g_initCount);
    g_initCount = 0;
}

TEST_F(Lifetime, MagicWordIsSetBeforeTheEntryFunction)
{
    EXPECT_EQ(0x76543210ul, g_libraryMagic);
}

} // namespace
