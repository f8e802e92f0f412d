// registration.h - the codec's registration, vidc.QV4Z, read where the
// compressor manager reads it: the value under Drivers32 in a registry view,
// else the [drivers32] section of system.ini.
#ifndef FERROTUNE_REGISTRATION_H
#define FERROTUNE_REGISTRATION_H

#include <windows.h>

// The manager reads at most MAX_PATH characters of the value.
const DWORD kRegistrationLength = MAX_PATH;

struct Registration {
    WCHAR value[kRegistrationLength + 1]; // as read; empty when too long or not text
    DWORD tooLong;                        // the length of a value longer than the manager reads; else 0
    bool notText;                         // the value is a number or binary data
    bool sectionMapped;                   // system.ini's [drivers32] is the registry key itself (Windows NT)
};

// vidc.QV4Z of one registry view (0: the program's own; KEY_WOW64_32KEY or
// KEY_WOW64_64KEY); false when the view has none.
bool ReadRegistryView(REGSAM view, Registration* registration);
// vidc.QV4Z where the manager reads it: the program's own registry view,
// else, when that has none or one longer than it reads, system.ini; false
// when neither has it. tooLong and notText are the registry value's. Where
// Windows maps the [drivers32] section onto the registry key, a value too
// long is not read again from system.ini: that is the same value, cut short.
bool ReadManagerRegistration(Registration* registration);

// value without the blanks around it, into name (as long as value).
void TrimBlanks(const WCHAR* value, WCHAR* name);

#endif
