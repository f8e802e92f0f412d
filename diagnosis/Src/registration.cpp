// registration - vidc.QV4Z in the registry and in system.ini.
#include "registration.h"

#include <string.h>
#include <wchar.h>

namespace {

const WCHAR kDriversKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const WCHAR kDriverValue[] = L"vidc.QV4Z";
// Where Windows NT says which sections of system.ini live in the registry.
const WCHAR kIniMappingKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\IniFileMapping\\system.ini";

// Whether [drivers32] of system.ini is mapped onto the registry.
bool DriversSectionMapped()
{
    HKEY mapping = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kIniMappingKey, 0, KEY_QUERY_VALUE, &mapping) != ERROR_SUCCESS)
        return false;
    const bool mapped = RegQueryValueExW(mapping, L"drivers32", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(mapping);
    return mapped;
}

} // namespace

bool ReadRegistryView(REGSAM view, Registration* registration)
{
    WCHAR* value = registration->value;
    value[0] = L'\0';
    registration->tooLong = 0;
    registration->notText = registration->sectionMapped = false;
    HKEY drivers = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriversKey, 0, KEY_QUERY_VALUE | view, &drivers) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof(registration->value);
    const LONG result = RegQueryValueExW(drivers, kDriverValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(drivers);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
        return false;
    registration->notText = type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ;
    if (registration->notText || result == ERROR_MORE_DATA) {
        // The stored size counts a terminating zero where there is one.
        if (!registration->notText)
            registration->tooLong = size / sizeof(WCHAR) - 1;
        value[0] = L'\0';
        return true;
    }
    const DWORD count = size / sizeof(WCHAR);
    value[count <= kRegistrationLength ? count : kRegistrationLength] = L'\0';
    return true;
}

bool ReadManagerRegistration(Registration* registration)
{
    const bool inRegistry = ReadRegistryView(0, registration);
    if (inRegistry && registration->tooLong == 0)
        return true;
    registration->sectionMapped = DriversSectionMapped();
    if (registration->sectionMapped && inRegistry)
        return false;
    return GetPrivateProfileStringW(L"drivers32", kDriverValue, L"", registration->value, kRegistrationLength + 1,
                                    L"system.ini") > 0;
}

void TrimBlanks(const WCHAR* value, WCHAR* name)
{
    while (*value == L' ')
        ++value;
    size_t length = wcslen(value);
    while (length > 0 && value[length - 1] == L' ')
        --length;
    wmemmove(name, value, length);
    name[length] = L'\0';
}
