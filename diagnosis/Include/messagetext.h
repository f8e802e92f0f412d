// messagetext.h - a message put together from string resources, with texts
// put in for their %1..%4, in a buffer of fixed size. It uses no heap, so that
// a crash report can make one in a damaged process. A text put in that is
// longer than 200 characters keeps its start and its end (a path's file name)
// with "..." between them; a message too long for the buffer is cut.
#ifndef FERROTUNE_MESSAGETEXT_H
#define FERROTUNE_MESSAGETEXT_H

#include "decision.h"

#include <windows.h>

// The system's words for error into text (size characters), on one line;
// empty when the system has none.
void SystemMessage(DWORD error, WCHAR* text, DWORD size);

class MessageText {
public:
    MessageText() : m_length(0) { m_text[0] = L'\0'; }
    const WCHAR* Text() const { return m_text; }

    void Append(const WCHAR* text);
    // String resource id of module, its %1..%N replaced by inserts[0..N-1]
    // (null: nothing), count of them; false when module has no such string.
    // An insert that is a string resource's number (MAKEINTRESOURCEW) puts
    // in that string, its %-numbers replaced by the same inserts.
    bool AppendString(HINSTANCE module, UINT id, const WCHAR* const* inserts = nullptr, int count = 4);
    // form, a string loaded before, likewise; a string resource among the
    // inserts comes from module.
    void AppendForm(const WCHAR* form, const WCHAR* const* inserts = nullptr, int count = 4,
                    HINSTANCE module = nullptr);
    // The text of a codec that did not open: the usual sentence, an empty
    // line and the diagnosis's paragraph, or one of them alone.
    void AppendDiagnosis(HINSTANCE module, const Diagnosis& diagnosis);
    // The system's words for an error code, on one line.
    void AppendSystemMessage(DWORD error);

private:
    void Put(const WCHAR* part, size_t count);
    void PutInsert(const WCHAR* insert);
    bool PutString(HINSTANCE module, UINT id, const WCHAR* const* inserts, int count, bool nested);
    void PutForm(HINSTANCE module, const WCHAR* form, const WCHAR* const* inserts, int count, bool nested);

    WCHAR m_text[4096];
    size_t m_length;
};

#endif
