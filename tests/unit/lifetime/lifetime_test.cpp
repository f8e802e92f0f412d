// Reference-counted start-up and shut-down of the library.
#include "lumaret.h"

#include <gtest/gtest.h>

#include <new>

// While set, new (std::nothrow), which makes the trace sink, gives nothing;
// otherwise it takes its block from this program's operator new (trace_test.cpp).
static bool s_nothrowNewFails = false;

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    if (s_nothrowNewFails)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

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

TEST_F(Lifetime, NoTraceSinkFailsAndTheNextCallStartsAfresh)
{
    s_nothrowNewFails = true;
    EXPECT_EQ(0x80000003ul, LumaretInitialize());
    s_nothrowNewFails = false;
    EXPECT_EQ(0ul, g_initCount);
    EXPECT_EQ(nullptr, g_trace);

    EXPECT_EQ(0ul, LumaretInitialize());
    EXPECT_EQ(1ul, g_initCount);
    EXPECT_NE(nullptr, g_trace) << "a first call makes the sink";
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

} // namespace
