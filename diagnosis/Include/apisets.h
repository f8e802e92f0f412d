// apisets.h - whether Windows resolves a DLL name itself, as an API set
// ("api-ms-win-core-synch-l1-2-0.dll", "ext-ms-..."), or looks for a file of
// that name like any other. The names an API set schema holds differ from one
// Windows to the next; Windows 7 reads none that begins with "ext-", Windows
// Vista and XP have no schema at all.
#ifndef FERROTUNE_APISETS_H
#define FERROTUNE_APISETS_H

#include <windows.h>

enum ApiSetAnswer : unsigned char {
    APISET_FILE,    // a file of that name, looked for where DLLs are
    APISET_WINDOWS, // resolved by Windows to a DLL of its own
    APISET_UNKNOWN, // an API-set name on a Windows whose schema this program cannot read
};

// What Windows answers for name. presence is what the system's own query
// (ApiSetQueryApiSetPresence) said of it: 1 present, 0 absent, -1 no answer.
// Without an answer, the Windows version (major in the high byte, minor in
// the low one) decides: none before 7, Windows 7's schema for 6.1.
ApiSetAnswer JudgeApiSet(const WCHAR* name, WORD windowsVersion, int presence);

// The running system's answer.
class ApiSetSchema {
public:
    ApiSetSchema();
    ApiSetAnswer Judge(const WCHAR* name) const;

private:
    typedef LONG(WINAPI* PresenceQuery)(const void* name, BOOLEAN* present);
    PresenceQuery m_query; // null where ntdll has none (before Windows 8)
    WORD m_version;
};

#endif
