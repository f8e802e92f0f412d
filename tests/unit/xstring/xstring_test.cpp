// The reference-counted string: its blocks as the heap sees them, the shared
// empty block's count, and a block that cannot be made.
#include "childscenario.h"
#include "lumaret.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <new>
#include <string>

namespace {

// What operator new has been asked for since the program started.
long s_liveBlocks = 0;
long s_allocations = 0;
size_t s_lastSize = 0;
void* s_lastBlock = nullptr;
bool s_failNext = false;

void* Allocate(size_t size)
{
    if (s_failNext) {
        s_failNext = false;
        return nullptr;
    }
    void* block = HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
    if (block != nullptr) {
        ++s_liveBlocks;
        ++s_allocations;
        s_lastSize = size;
        s_lastBlock = block;
    }
    return block;
}

void Free(void* block)
{
    if (block == nullptr)
        return;
    --s_liveBlocks;
    HeapFree(GetProcessHeap(), 0, block);
}

} // namespace

void* operator new(size_t size)
{
    void* block = Allocate(size);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}

void operator delete(void* block) noexcept
{
    Free(block);
}

void operator delete(void* block, size_t) noexcept
{
    Free(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    Free(block);
}

namespace {

uint32_t Word(const void* block, size_t offset)
{
    uint32_t word;
    memcpy(&word, static_cast<const char*>(block) + offset, sizeof(word));
    return word;
}

// Every test leaves as many live blocks as it found. (Assertions that pass
// allocate nothing; a failure message may, and then this check fails too.)
class String : public testing::Test {
protected:
    void SetUp() override
    {
        m_liveBefore = s_liveBlocks;
        m_sharedBefore = g_emptyStringData.m_refCount;
    }
    void TearDown() override
    {
        EXPECT_EQ(m_liveBefore, s_liveBlocks) << "blocks leaked or freed twice";
        EXPECT_EQ(m_sharedBefore, g_emptyStringData.m_refCount);
    }

    long m_liveBefore = 0;
    unsigned long m_sharedBefore = 0;
};

struct BlockCase {
    const char* text;
    uint32_t size; // bytes asked for: length + 13
};

const BlockCase kBlockCases[] = {
    {"", 13}, {"a", 14}, {"abc", 16}, {"path\\to\\file.cpp", 29}, {"A memory allocation has failed", 43},
};

TEST_F(String, EachTextGetsOneBlockOfLengthPlusThirteenBytes)
{
    for (const BlockCase& c : kBlockCases) {
        long allocations = s_allocations;
        CxString value(c.text);
        ASSERT_EQ(allocations + 1, s_allocations) << c.text;
        ASSERT_EQ(c.size, s_lastSize) << c.text;

        // Three 32-bit words (size, count, length), then the characters and a zero.
        const void* block = s_lastBlock;
        EXPECT_EQ(block, static_cast<const void*>(value.Data())) << c.text;
        EXPECT_EQ(c.size, Word(block, 0)) << c.text;
        EXPECT_EQ(1u, Word(block, 4)) << c.text;
        EXPECT_EQ(c.size - 13, Word(block, 8)) << c.text;
        EXPECT_EQ(0, memcmp(static_cast<const char*>(block) + 12, c.text, c.size - 12)) << c.text;
        EXPECT_EQ(static_cast<const char*>(block) + 12, value.Text()) << c.text;
    }
}

TEST_F(String, ANullTextSharesTheEmptyBlockAndAllocatesNothing)
{
    long allocations = s_allocations;
    {
        CxString first(nullptr);
        EXPECT_EQ(nullptr, first.Text());
        EXPECT_EQ(&g_emptyStringData, first.Data());
        EXPECT_EQ(m_sharedBefore + 1, g_emptyStringData.m_refCount);
        CxString second(nullptr);
        EXPECT_EQ(m_sharedBefore + 2, g_emptyStringData.m_refCount);
    }
    EXPECT_EQ(allocations, s_allocations);
    EXPECT_EQ(m_sharedBefore, g_emptyStringData.m_refCount);
}

TEST_F(String, TheSharedBlockIsNeverFreedAndServesAgain)
{
    ASSERT_EQ(0ul, m_sharedBefore) << "no string of this program should be alive between tests";
    {
        CxString a(nullptr);
        CxString b(nullptr);
    }
    EXPECT_EQ(0ul, g_emptyStringData.m_refCount);
    EXPECT_EQ(13ul, g_emptyStringData.m_allocSize);
    EXPECT_EQ(0ul, g_emptyStringData.m_length);
    EXPECT_EQ('\0', g_emptyStringData.Chars()[0]);

    CxString again(nullptr);
    EXPECT_EQ(&g_emptyStringData, again.Data());
    EXPECT_EQ(1ul, g_emptyStringData.m_refCount);
}

TEST_F(String, AssigningNullFreesTheOwnBlockAndMovesToTheSharedOne)
{
    CxString value("abc");
    long live = s_liveBlocks;
    CxString& result = value.Assign(nullptr);
    EXPECT_EQ(&value, &result);
    EXPECT_EQ(live - 1, s_liveBlocks);
    EXPECT_EQ(nullptr, value.Text());
    EXPECT_EQ(m_sharedBefore + 1, g_emptyStringData.m_refCount);

    // Null again: the shared count rises and falls by one.
    value.Assign(nullptr);
    EXPECT_EQ(m_sharedBefore + 1, g_emptyStringData.m_refCount);
    EXPECT_EQ(live - 1, s_liveBlocks);
}

TEST_F(String, AssigningATextToASharedStringTakesTheSharedCountDown)
{
    CxString value(nullptr);
    ASSERT_EQ(m_sharedBefore + 1, g_emptyStringData.m_refCount);
    CxString& result = value.Assign("xyz");
    EXPECT_EQ(&value, &result);
    EXPECT_EQ(m_sharedBefore, g_emptyStringData.m_refCount);
    EXPECT_STREQ("xyz", value.Text());
    EXPECT_EQ(16ul, value.Data()->m_allocSize);
    EXPECT_EQ(1ul, value.Data()->m_refCount);
    EXPECT_EQ(3ul, value.Data()->m_length);
}

TEST_F(String, AssigningAStringItsOwnTextGivesAnEqualValueOnANewBlock)
{
    CxString value("hello");
    const CxStringData* old = value.Data();
    long live = s_liveBlocks;
    value.Assign(value.Text());
    EXPECT_NE(old, value.Data());
    EXPECT_STREQ("hello", value.Text());
    EXPECT_EQ(18ul, value.Data()->m_allocSize);
    EXPECT_EQ(5ul, value.Data()->m_length);
    EXPECT_EQ(live, s_liveBlocks);
}

TEST_F(String, AFailedAllocationRaisesAndLeavesThePreviousValue)
{
    CxString value("previous");
    const CxStringData* old = value.Data();
    s_failNext = true;
    try {
        value.Assign("replacement");
        ADD_FAILURE() << "no exception";
    } catch (const CxException& e) {
        EXPECT_EQ(0x1D0003ul, e.m_flags);
        EXPECT_EQ(0x80001000ul, e.m_code);
        EXPECT_EQ(0ul, e.m_reserved);
        EXPECT_EQ(379ul, e.m_line);
    }
    EXPECT_EQ(old, value.Data());
    EXPECT_STREQ("previous", value.Text());
    EXPECT_EQ(1ul, value.Data()->m_refCount);
    EXPECT_EQ(8ul, value.Data()->m_length);

    // The same from the shared block: the string stays empty and shared.
    value.Assign(nullptr);
    s_failNext = true;
    EXPECT_THROW(value.Assign("replacement"), CxException);
    EXPECT_EQ(nullptr, value.Text());
    EXPECT_EQ(m_sharedBefore + 1, g_emptyStringData.m_refCount);
}

TEST_F(String, AConstructionThatCannotMakeItsBlockLeavesTheCountsAsTheyWere)
{
    s_failNext = true;
    EXPECT_THROW(CxString("never made"), CxException);
    // TearDown checks the shared count and the live blocks.
}

TEST_F(String, AllocDataGivesAnEmptyBlockWithCountOne)
{
    CxStringData* data = CxString::AllocData(10);
    EXPECT_EQ(23u, s_lastSize);
    EXPECT_EQ(23ul, data->m_allocSize);
    EXPECT_EQ(1ul, data->m_refCount);
    EXPECT_EQ(0ul, data->m_length);
    EXPECT_EQ('\0', data->Chars()[0]);
    ::operator delete(data);
}

// The exception names the string's own source file and line 379.
CHILD_SCENARIO(StringAllocationFails)
{
    CxString value("previous");
    s_failNext = true;
    try {
        value.Assign("replacement");
    } catch (const CxException&) {
        return strcmp(value.Text(), "previous") == 0 ? 0 : 1;
    }
    return 2;
}

TEST(StringAllocationFailure, IsReportedFromXstringLine379)
{
    DebugCapture child = RunChildScenario("StringAllocationFails");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0ul, child.exitCode);
    ASSERT_EQ(1u, child.debugLines.size()) << JoinLines(child.debugLines);
    const std::string& line = child.debugLines[0];
    const std::string head = "Trace: Exception thrown in file ";
    const std::string tail = "xstring.cpp(379)\n";
    EXPECT_EQ(head, line.substr(0, head.size())) << line;
    ASSERT_GE(line.size(), head.size() + tail.size());
    EXPECT_EQ(tail, line.substr(line.size() - tail.size())) << line;
    EXPECT_EQ("xstring.cpp (379): A memory allocation has failed\n", child.standardOutput);
}

} // namespace
