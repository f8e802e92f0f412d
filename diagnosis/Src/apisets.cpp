// apisets - API-set names: the system's query, else a table of Windows 7's schema.
#include "apisets.h"

#include <string.h>
#include <wchar.h>

namespace {

// The names of Windows 7's schema (with Service Pack 1), each after
// "api-ms-win-" and without ".dll", one after the other: the only API sets a
// Windows 7 loader resolves. The Universal C Runtime's names
// (api-ms-win-crt-*) are not among them: an update installs them as files.
const char kWindows7Schema[] = "core-console-l1-1-0\0"
                               "core-datetime-l1-1-0\0"
                               "core-debug-l1-1-0\0"
                               "core-delayload-l1-1-0\0"
                               "core-errorhandling-l1-1-0\0"
                               "core-fibers-l1-1-0\0"
                               "core-file-l1-1-0\0"
                               "core-handle-l1-1-0\0"
                               "core-heap-l1-1-0\0"
                               "core-interlocked-l1-1-0\0"
                               "core-io-l1-1-0\0"
                               "core-libraryloader-l1-1-0\0"
                               "core-localization-l1-1-0\0"
                               "core-localregistry-l1-1-0\0"
                               "core-memory-l1-1-0\0"
                               "core-misc-l1-1-0\0"
                               "core-namedpipe-l1-1-0\0"
                               "core-processenvironment-l1-1-0\0"
                               "core-processthreads-l1-1-0\0"
                               "core-profile-l1-1-0\0"
                               "core-rtlsupport-l1-1-0\0"
                               "core-string-l1-1-0\0"
                               "core-synch-l1-1-0\0"
                               "core-sysinfo-l1-1-0\0"
                               "core-threadpool-l1-1-0\0"
                               "core-ums-l1-1-0\0"
                               "core-util-l1-1-0\0"
                               "core-xstate-l1-1-0\0"
                               "security-base-l1-1-0\0"
                               "security-lsalookup-l1-1-0\0"
                               "security-sddl-l1-1-0\0"
                               "service-core-l1-1-0\0"
                               "service-management-l1-1-0\0"
                               "service-management-l2-1-0\0"
                               "service-winsvc-l1-1-0\0";
const size_t kApiSetPrefix = 11; // "api-ms-win-"

const WORD kWindows7 = 0x0601;

// The length of name without a ".dll" at its end.
size_t BaseLength(const WCHAR* name)
{
    const size_t length = wcslen(name);
    return length > 4 && _wcsicmp(name + length - 4, L".dll") == 0 ? length - 4 : length;
}

// A counted string as the native query takes it.
struct CountedName {
    USHORT length;
    USHORT maximumLength;
    const WCHAR* buffer;
};

bool IsApiSetName(const WCHAR* name)
{
    return _wcsnicmp(name, L"api-", 4) == 0 || _wcsnicmp(name, L"ext-", 4) == 0;
}

} // namespace

ApiSetAnswer JudgeApiSet(const WCHAR* name, WORD windowsVersion, int presence)
{
    if (!IsApiSetName(name))
        return APISET_FILE;
    if (presence >= 0)
        return presence != 0 ? APISET_WINDOWS : APISET_FILE;
    if (windowsVersion < kWindows7)
        return APISET_FILE;
    if (windowsVersion > kWindows7)
        return APISET_UNKNOWN;
    const size_t length = BaseLength(name);
    if (length <= kApiSetPrefix || _wcsnicmp(name, L"api-ms-win-", kApiSetPrefix) != 0)
        return APISET_FILE;
    for (const char* known = kWindows7Schema; *known != '\0'; known += strlen(known) + 1) {
        size_t i = 0;
        while (known[i] != '\0' && kApiSetPrefix + i < length &&
               towlower(name[kApiSetPrefix + i]) == static_cast<WCHAR>(known[i]))
            ++i;
        if (known[i] == '\0' && kApiSetPrefix + i == length)
            return APISET_WINDOWS;
    }
    return APISET_FILE;
}

// ApiSetQueryApiSetPresence, in ntdll from Windows 8 on, is looked up at run
// time. It takes the name without ".dll" and returns an NTSTATUS.
ApiSetSchema::ApiSetSchema() : m_query(nullptr)
{
    const DWORD version = GetVersion();
    m_version = static_cast<WORD>(LOBYTE(LOWORD(version)) << 8 | HIBYTE(LOWORD(version)));
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr)
        m_query = reinterpret_cast<PresenceQuery>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "ApiSetQueryApiSetPresence")));
}

ApiSetAnswer ApiSetSchema::Judge(const WCHAR* name) const
{
    if (!IsApiSetName(name))
        return APISET_FILE;
    int presence = -1;
    BOOLEAN present = FALSE;
    const size_t length = BaseLength(name);
    const CountedName counted = {static_cast<USHORT>(length * sizeof(WCHAR)),
                                 static_cast<USHORT>(length * sizeof(WCHAR)), name};
    if (m_query != nullptr && length < 256 && m_query(&counted, &present) >= 0)
        presence = present != FALSE;
    return JudgeApiSet(name, m_version, presence);
}
