// xstring - the reference-counted 8-bit string.
#include "lumaret.h"

#include <stddef.h>
#include <string.h>

#include <new>

static_assert(sizeof(unsigned long) == 4, "the block's header words are 32 bits wide");
static_assert(offsetof(CxStringData, m_text) == CXSTRING_HEADER_SIZE, "the characters follow the header words");

namespace {

// How a failed block allocation is raised: facility 3 (library result code),
// console line with the short file name.
const unsigned long kAllocFailedFlags = 0x1D0003;
const unsigned long kAllocFailedLine = 379;

// The longest text whose block size (length + 13) still fits the 32-bit size word.
const unsigned long kMaxLength = 0xFFFFFFFFul - (CXSTRING_HEADER_SIZE + 1);

} // namespace

// Allocated size 13, count 0 at load, length 0, a single zero byte as text.
CxStringData g_emptyStringData = {CXSTRING_HEADER_SIZE + 1, 0, 0, {'\0'}};

// Makes the string from text; a null text attaches it to the shared empty block.
CxString::CxString(const char* text) : m_data(&g_emptyStringData)
{
    ++g_emptyStringData.m_refCount;
    try {
        Assign(text);
    } catch (...) {
        // The destructor does not run for a constructor that fails.
        Release();
        throw;
    }
}

CxString::~CxString()
{
    Release();
}

// Drops this string's reference; the last one frees the block unless it is
// the shared empty block, whose count may fall back to 0 without harm.
void CxString::Release()
{
    if (m_data == nullptr)
        return;
    if (--m_data->m_refCount == 0 && m_data != &g_emptyStringData)
        ::operator delete(m_data);
    m_data = nullptr;
}

// Replaces the value by a copy of text. The new block is filled before the old
// one is released, so a string can be given its own text; when no block can be
// made the string keeps its value and CxException passes to the caller.
CxString& CxString::Assign(const char* text)
{
    if (text == nullptr) {
        ++g_emptyStringData.m_refCount;
        Release();
        m_data = &g_emptyStringData;
        return *this;
    }

    size_t length = strlen(text);
    // A text too long for the size word asks for a block that cannot be made.
    CxStringData* data = AllocData(length > kMaxLength ? 0xFFFFFFFFul : static_cast<unsigned long>(length));
    memcpy(data->Chars(), text, length + 1);
    data->m_length = static_cast<unsigned long>(length);

    Release();
    m_data = data;
    return *this;
}

// Null for the shared empty block, the characters of any other block.
const char* CxString::Text() const
{
    if (m_data == &g_emptyStringData)
        return nullptr;
    return m_data->Chars();
}

// A block of exactly length + 13 bytes holding the empty text with count 1.
// Raises CxException (facility 3, CXRES_OUTOFMEMORY) when no memory is given.
CxStringData* CxString::AllocData(unsigned long length)
{
    unsigned long size = length + CXSTRING_HEADER_SIZE + 1;
    CxStringData* data = nullptr;
    if (length <= kMaxLength)
        data = static_cast<CxStringData*>(::operator new(size, std::nothrow));
    if (data == nullptr)
        throw CxException(kAllocFailedFlags, CXRES_OUTOFMEMORY, __FILE__, kAllocFailedLine);

    data->m_allocSize = size;
    data->m_refCount = 1;
    data->m_length = 0;
    data->m_text[0] = '\0';
    return data;
}
