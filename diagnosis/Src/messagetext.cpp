// messagetext - string resources with their inserts, in a fixed buffer.
#include "messagetext.h"

#include "diagnosistexts.h"

#include <wchar.h>

namespace {

// The most characters of an insert that a message shows, and how many of a
// longer one's first characters it keeps; the rest is its end.
const size_t kShownLength = 200;
const size_t kShownStart = 80;
const WCHAR kCut[] = L"...";

} // namespace

void SystemMessage(DWORD error, WCHAR* text, DWORD size)
{
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  size, nullptr);
    if (length >= size)
        length = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] == L'\r' || text[i] == L'\n')
            text[i] = L' ';
    }
    while (length > 0 && text[length - 1] == L' ')
        --length;
    text[length] = L'\0';
}

void MessageText::AppendSystemMessage(DWORD error)
{
    WCHAR text[256];
    SystemMessage(error, text, ARRAYSIZE(text));
    Append(text);
}

void MessageText::Put(const WCHAR* part, size_t count)
{
    const size_t room = ARRAYSIZE(m_text) - 1 - m_length;
    if (count > room)
        count = room;
    wmemcpy(m_text + m_length, part, count);
    m_length += count;
    m_text[m_length] = L'\0';
}

void MessageText::PutInsert(const WCHAR* insert)
{
    const size_t length = wcslen(insert);
    if (length <= kShownLength) {
        Put(insert, length);
        return;
    }
    const size_t end = kShownLength - kShownStart - (ARRAYSIZE(kCut) - 1);
    Put(insert, kShownStart);
    Put(kCut, ARRAYSIZE(kCut) - 1);
    Put(insert + length - end, end);
}

void MessageText::Append(const WCHAR* text)
{
    Put(text, wcslen(text));
}

bool MessageText::AppendString(HINSTANCE module, UINT id, const WCHAR* const* inserts, int count)
{
    return PutString(module, id, inserts, count, false);
}

void MessageText::AppendForm(const WCHAR* form, const WCHAR* const* inserts, int count, HINSTANCE module)
{
    PutForm(module, form, inserts, count, false);
}

bool MessageText::PutString(HINSTANCE module, UINT id, const WCHAR* const* inserts, int count, bool nested)
{
    WCHAR form[1024];
    if (LoadStringW(module, id, form, ARRAYSIZE(form)) <= 0)
        return false;
    PutForm(module, form, inserts, count, nested);
    return true;
}

// A string that is itself an insert is put in whole, and its own string
// inserts are not followed.
void MessageText::PutForm(HINSTANCE module, const WCHAR* form, const WCHAR* const* inserts, int count, bool nested)
{
    for (const WCHAR* at = form; *at != L'\0'; ++at) {
        const int index = at[0] == L'%' ? at[1] - L'1' : -1;
        if (index < 0 || index > 8) {
            Put(at, 1);
            continue;
        }
        const WCHAR* insert = inserts != nullptr && index < count ? inserts[index] : nullptr;
        if (!IS_INTRESOURCE(insert))
            PutInsert(insert);
        else if (insert != nullptr && !nested && module != nullptr)
            PutString(module, LOWORD(insert), inserts, count, true);
        ++at;
    }
}

void MessageText::AppendDiagnosis(HINSTANCE module, const Diagnosis& diagnosis)
{
    const bool sentence = diagnosis.message == 0 || !diagnosis.alone;
    if (sentence)
        AppendString(module, IDS_CODEC_NOT_DETECTED);
    if (diagnosis.message == 0)
        return;
    if (m_length > 0)
        Append(L"\n\n");
    AppendString(module, diagnosis.message, diagnosis.inserts, ARRAYSIZE(diagnosis.inserts));
}
