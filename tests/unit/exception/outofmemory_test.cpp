// Running out of memory while an exception reports: the report must end and
// exactly one CxException must reach the caller. This program replaces the
// global operator new so that a scenario can fail chosen allocations.
#include "childscenario.h"
#include "lumaret.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <new>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Allocations counted since Arm(); the ones listed in s_failing fail, and so
// does every one from s_failFrom on when it is not 0.
bool s_armed = false;
unsigned long s_count = 0;
long s_liveBlocks = 0;
std::vector<unsigned long>* s_failing = nullptr;
unsigned long s_failFrom = 0;

bool NextAllocationFails()
{
    if (!s_armed)
        return false;
    ++s_count;
    if (s_failFrom != 0 && s_count >= s_failFrom)
        return true;
    if (s_failing != nullptr) {
        for (unsigned long n : *s_failing) {
            if (n == s_count)
                return true;
        }
    }
    return false;
}

} // namespace

void* operator new(size_t size)
{
    if (NextAllocationFails())
        throw std::bad_alloc();
    void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    ++s_liveBlocks;
    return block;
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    if (NextAllocationFails())
        return nullptr;
    void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (block)
        ++s_liveBlocks;
    return block;
}

void operator delete(void* block) noexcept
{
    if (block != nullptr) {
        --s_liveBlocks;
        HeapFree(GetProcessHeap(), 0, block);
    }
}

void operator delete(void* block, size_t) noexcept
{
    if (block != nullptr) {
        --s_liveBlocks;
        HeapFree(GetProcessHeap(), 0, block);
    }
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    if (block != nullptr) {
        --s_liveBlocks;
        HeapFree(GetProcessHeap(), 0, block);
    }
}

namespace {

// What is raised: an exception made directly (console line with the short
// file name), or a string assignment that needs a new block.
enum class Raise { Exception, StringAssign };

struct OutOfMemoryCase {
    const char* name;
    Raise raise;
    std::vector<unsigned long> failing; // allocation numbers that fail, counted from 1
    unsigned long failFrom;             // 0, or the first of all failing allocations
    std::vector<std::string> trace;     // "*" stands for any text before the rest
    const char* output;
    const char* caught; // the one exception that reaches the caller
};

const char kOuterTrace[] = "Trace: Exception thrown in file C:\\src\\abc.def(233)\n";
const char kStringTrace[] = "Trace: Exception thrown in file *xstring.cpp(379)\n";
const char kOuterLine[] = "abc.def (233): An invalid parameter was passed to a function\n";
const char kStringLine[] = "xstring.cpp (379): A memory allocation has failed\n";
const char kCaughtOuter[] = "flags=0x180003 code=0x80000007 reserved=0 line=233";
const char kCaughtString[] = "flags=0x1D0003 code=0x80001000 reserved=0 line=379";

// A whole report of the outer exception allocates four times: the file name's
// block, the catalogue's string object, its block and the short name's block.
// clang-format off
const OutOfMemoryCase kCases[] = {
    {"NothingFails",           Raise::Exception, {},  0, {kOuterTrace},               kOuterLine,  kCaughtOuter},
    {"FileNameBlock",          Raise::Exception, {1}, 0, {kStringTrace},              kStringLine, kCaughtString},
    {"CatalogueObject",        Raise::Exception, {2}, 0, {kOuterTrace},               "abc.def (233): (null)\n", kCaughtOuter},
    {"CatalogueBlock",         Raise::Exception, {3}, 0, {kOuterTrace, kStringTrace}, kStringLine, kCaughtString},
    {"ShortNameBlock",         Raise::Exception, {4}, 0, {kOuterTrace, kStringTrace}, kStringLine, kCaughtString},
    {"FifthWouldFail",         Raise::Exception, {5}, 0, {kOuterTrace},               kOuterLine,  kCaughtOuter},
    {"AllFromFileNameBlock",   Raise::Exception, {},  1, {kStringTrace},              kStringLine, kCaughtString},
    {"AllFromCatalogueObject", Raise::Exception, {},  2, {kOuterTrace, kStringTrace}, kStringLine, kCaughtString},
    {"AllFromCatalogueBlock",  Raise::Exception, {},  3, {kOuterTrace, kStringTrace}, kStringLine, kCaughtString},
    {"AllFromShortNameBlock",  Raise::Exception, {},  4, {kOuterTrace, kStringTrace}, kStringLine, kCaughtString},
    // The string's own block fails; then its report runs out as well.
    {"StringBlock",                    Raise::StringAssign, {1},    0, {kStringTrace},               kStringLine, kCaughtString},
    {"StringBlockThenFileName",        Raise::StringAssign, {1, 2}, 0, {kStringTrace},               kStringLine, kCaughtString},
    {"StringBlockThenCatalogueObject", Raise::StringAssign, {1, 3}, 0, {kStringTrace},               "xstring.cpp (379): (null)\n", kCaughtString},
    {"StringBlockThenCatalogueBlock",  Raise::StringAssign, {1, 4}, 0, {kStringTrace, kStringTrace}, kStringLine, kCaughtString},
    {"StringBlockThenShortName",       Raise::StringAssign, {1, 5}, 0, {kStringTrace, kStringTrace}, kStringLine, kCaughtString},
    {"EverythingFails",                Raise::StringAssign, {},     1, {kStringTrace},               kStringLine, kCaughtString},
};
// clang-format on

// Failure messages name the case.
void PrintTo(const OutOfMemoryCase& c, std::ostream* os)
{
    *os << c.name;
}

CHILD_SCENARIO(RaiseOutOfMemory)
{
    const OutOfMemoryCase* found = nullptr;
    for (const OutOfMemoryCase& c : kCases) {
        if (!args.empty() && args[0] == c.name)
            found = &c;
    }
    if (found == nullptr)
        return 2;

    CxString value("previous");
    std::vector<unsigned long> failing = found->failing;
    int caught = 0;
    int other = 0;
    unsigned long flags = 0, code = 0, reserved = 1, line = 0;
    s_failing = &failing;
    s_failFrom = found->failFrom;
    s_count = 0;
    s_armed = true;
    try {
        if (found->raise == Raise::Exception)
            throw CxException(0x180003, 0x80000007, "C:\\src\\abc.def", 233);
        value.Assign("replacement");
    } catch (const CxException& e) {
        ++caught;
        flags = e.m_flags;
        code = e.m_code;
        reserved = e.m_reserved;
        line = e.m_line;
    } catch (...) {
        ++other;
    }
    s_armed = false;

    printf("caught=%d other=%d\n", caught, other);
    printf("flags=0x%lX code=0x%lX reserved=%lu line=%lu\n", flags, code, reserved, line);
    printf("value=%s\n", value.Text() ? value.Text() : "<null>");
    return 0;
}

// Compares a line with an expected one in which a leading "*" part stands for
// any text: "a*b" matches every line that begins with a and ends with b.
bool LineMatches(const std::string& expected, const std::string& actual)
{
    size_t star = expected.find('*');
    if (star == std::string::npos)
        return expected == actual;
    std::string head = expected.substr(0, star);
    std::string tail = expected.substr(star + 1);
    return actual.size() >= head.size() + tail.size() && actual.compare(0, head.size(), head) == 0 &&
           actual.compare(actual.size() - tail.size(), tail.size(), tail) == 0;
}

class OutOfMemory : public testing::TestWithParam<OutOfMemoryCase> {};

TEST_P(OutOfMemory, TheReportEndsAndOneExceptionReachesTheCaller)
{
    const OutOfMemoryCase& c = GetParam();
    DebugCapture child = RunChildScenario("RaiseOutOfMemory", {c.name});
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);

    ASSERT_EQ(c.trace.size(), child.debugLines.size()) << JoinLines(child.debugLines);
    for (size_t i = 0; i < c.trace.size(); ++i)
        EXPECT_TRUE(LineMatches(c.trace[i], child.debugLines[i])) << c.trace[i] << " / " << child.debugLines[i];

    // The string keeps its previous value whichever allocation failed.
    std::string expected = std::string(c.output) + "caught=1 other=0\n" + c.caught + "\n" + "value=previous\n";
    EXPECT_EQ(expected, child.standardOutput);
}

INSTANTIATE_TEST_SUITE_P(Allocations, OutOfMemory, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<OutOfMemoryCase>& info) { return info.param.name; });

// The counting itself: a report that fails nothing makes three allocations,
// four with the short name, so the cases above cover each one of them.
TEST(OutOfMemoryHarness, AReportAllocatesThreeTimesAndFourWithAShortName)
{
    s_failing = nullptr;
    s_failFrom = 0;
    s_count = 0;
    s_armed = true;
    try {
        throw CxException(0x100003, 0x80000007, "C:\\src\\abc.def", 233); // no console line
    } catch (const CxException&) {
    }
    s_armed = false;
    EXPECT_EQ(3ul, s_count);

    s_count = 0;
    s_armed = true;
    try {
        throw CxException(0x180003, 0x80000007, "C:\\src\\abc.def", 233);
    } catch (const CxException&) {
    }
    s_armed = false;
    EXPECT_EQ(4ul, s_count);
}

// The catalogue alone: without memory for its string object it gives null;
// when the object's block cannot be made it frees the object and lets the
// string's exception pass. A system text's buffer is not the C++ heap's.
TEST(CatalogueOutOfMemory, GivesNullWithoutAnObjectAndFreesTheObjectWhenItsBlockFails)
{
    struct Lookup {
        unsigned long flags;
        unsigned long code;
    };
    const Lookup lookups[] = {{3, 0x80001000}, {4, 2}, {4, 0x20000000}, {0, 0}};
    std::vector<unsigned long> first = {1};
    std::vector<unsigned long> second = {2};
    for (const Lookup& lookup : lookups) {
        long live = s_liveBlocks;
        s_failing = &first;
        s_failFrom = 0;
        s_count = 0;
        s_armed = true;
        CxString* text = LumaretErrorText(lookup.flags, lookup.code);
        s_armed = false;
        EXPECT_EQ(nullptr, text) << lookup.flags;
        EXPECT_EQ(live, s_liveBlocks);

        s_failing = &second;
        s_count = 0;
        s_armed = true;
        unsigned long raised = 0;
        try {
            delete LumaretErrorText(lookup.flags, lookup.code);
        } catch (const CxException& e) {
            raised = e.m_flags;
        }
        s_armed = false;
        // The empty text of an unknown system code needs no block at all.
        EXPECT_EQ(lookup.flags == 4 && lookup.code == 0x20000000 ? 0ul : 0x1D0003ul, raised) << lookup.flags;
        EXPECT_EQ(live, s_liveBlocks) << lookup.flags;
    }
}

} // namespace
