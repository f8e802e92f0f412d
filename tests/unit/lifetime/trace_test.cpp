// The trace sink, seen as a debugger sees it.
#include "childscenario.h"
#include "lumaret.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <new>
#include <string>

// Heap calls made by this program: operator new and, through the linker's
// --wrap, the C runtime's malloc family.
static long s_heapCalls = 0;

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* block, size_t size);
void* __wrap_malloc(size_t size)
{
    ++s_heapCalls;
    return __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size)
{
    ++s_heapCalls;
    return __real_calloc(count, size);
}
void* __wrap_realloc(void* block, size_t size)
{
    ++s_heapCalls;
    return __real_realloc(block, size);
}
}

void* operator new(size_t size)
{
    ++s_heapCalls;
    void* block = __real_malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }

namespace {

void WriteTrace(unsigned long flags, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    CxTrace::Write(flags, format, args);
    va_end(args);
}

const std::string kLongMessage(5000, 'x');

// Writes one line per flag combination, in the order the test expects them.
CHILD_SCENARIO(TraceFlagCombinations)
{
    WriteTrace(0x00000, "flags zero\n");
    WriteTrace(0x10000, "plain message\n");
    WriteTrace(0x00003, "both directions\n");
    WriteTrace(0x00002, "exiting\n");
    WriteTrace(0x60000, "function and constructor\n");
    WriteTrace(0xC0000, "constructor and destructor\n");
    WriteTrace(0x80001, "entering destructor\n");
    WriteTrace(0xA0002, "exiting function\n");
    WriteTrace(0x10000, "no line end");
    WriteTrace(0x10000, "%d-%s-%lu\n", -5, "text", 4000000000ul);
    WriteTrace(0x10000, "%s", kLongMessage.c_str());
    return 0;
}

TEST(TraceWrite, PrefixesFollowTheFlagsAndNothingIsAddedToTheMessage)
{
    DebugCapture child = RunChildScenario("TraceFlagCombinations");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);

    const std::vector<std::string> expected = {
        "Trace: plain message\n",
        "Trace: Entering both directions\n",
        "Trace: Exiting  exiting\n",
        "Trace: Function    function and constructor\n",
        "Trace: Constructor constructor and destructor\n",
        "Trace: Entering Destructor  entering destructor\n",
        "Trace: Exiting  Function    exiting function\n",
        "Trace: no line end",
        "Trace: -5-text-4000000000\n",
        "Trace: " + std::string(1023, 'x'),
    };
    EXPECT_EQ(expected, child.debugLines) << JoinLines(child.debugLines);
}

CHILD_SCENARIO(TraceBeforeInitialisation)
{
    if (g_initCount != 0 || g_trace != nullptr)
        return 1;
    LumaretTrace("before any initialisation %d\n", 1);
    if (LumaretInitialize() != 0)
        return 2;
    LumaretTrace("while up\n");
    LumaretUninitialize();
    LumaretTrace("after the last shutdown\n");
    return 0;
}

TEST(LumaretTrace, WritesWithOrWithoutASink)
{
    DebugCapture child = RunChildScenario("TraceBeforeInitialisation");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);
    const std::vector<std::string> expected = {
        "Trace: before any initialisation 1\n",
        "Trace: while up\n",
        "Trace: after the last shutdown\n",
    };
    EXPECT_EQ(expected, child.debugLines) << JoinLines(child.debugLines);
}

TEST(TraceWrite, AllocatesNothingOnTheHeap)
{
    long before = s_heapCalls;
    WriteTrace(CXTRACE_ENTERING | CXTRACE_FUNCTION, "counting %s %d %lu\n", "heap", 42, 7ul);
    LumaretTrace("%s", kLongMessage.c_str());
    EXPECT_EQ(before, s_heapCalls);

    // The counter itself works: a real allocation moves it.
    void* probe = ::operator new(16);
    ::operator delete(probe);
    EXPECT_EQ(before + 1, s_heapCalls);
}

} // namespace
