// missingcall - the DLL and function of Wine's exception for a missing import.
#include "missingcall.h"

#include <wchar.h>

namespace {

// The zero-ended text at address into text, read byte by byte through the
// system, so that a bad address fails the read instead of the process.
bool ReadText(ULONG_PTR address, WCHAR text[MAX_PATH])
{
    char bytes[MAX_PATH];
    for (int i = 0; i < MAX_PATH; ++i) {
        SIZE_T read = 0;
        if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address + i), &bytes[i], 1, &read) ||
            read != 1)
            return false;
        if (bytes[i] == '\0')
            return i > 0 && MultiByteToWideChar(CP_ACP, 0, bytes, -1, text, MAX_PATH) > 0;
    }
    return false;
}

} // namespace

bool ReadMissingCall(const EXCEPTION_RECORD& record, MissingCall* call)
{
    if (record.ExceptionCode != kWineStubException || record.NumberParameters < 2 ||
        !ReadText(record.ExceptionInformation[0], call->dll))
        return false;
    const ULONG_PTR function = record.ExceptionInformation[1];
    if (function >= 0x10000)
        return ReadText(function, call->function);
    call->function[0] = L'#';
    _ultow(static_cast<unsigned long>(function), call->function + 1, 10);
    return true;
}
