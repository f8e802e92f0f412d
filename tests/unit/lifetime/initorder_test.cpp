// Initialisation made before and after the library's static initialisation.
#include "initorder.h"
#include "lumaret.h"

#include <gtest/gtest.h>

TEST(StaticInitialisation, AnInitialisationBeforeTheMagicWordFails)
{
    EXPECT_EQ(0x80000001ul, g_earlyInitialisation.result);
    EXPECT_EQ(0ul, g_earlyInitialisation.countAfter);
}

TEST(StaticInitialisation, AnInitialisationAfterTheEntryFunctionStartedSucceeds)
{
    EXPECT_EQ(0ul, LumaretInitialize());
    EXPECT_NE(nullptr, g_trace);
    EXPECT_EQ(0ul, LumaretUninitialize());
}
