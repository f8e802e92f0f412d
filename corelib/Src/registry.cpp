// registry - CxRegistryKey, the owner of one open key of the Windows registry.
//
// Each operation is one registry call plus its failure path. Every non-zero
// result is raised as a CxException carrying the system's error code and the
// line that names the failing operation; the object is left as it was at the
// failing call.
#include "lumaret.h"

#include <string.h>

namespace {

// Facility 4 (system error codes), the raising-operation bit, and a console
// line of the form name.extension (line): text.
const unsigned long kRegistryErrorFlags = 0x190004;

// The line each failing operation reports.
const unsigned long kLineCreate = 233;
const unsigned long kLineClose = 267;
const unsigned long kLineFlush = 293;
const unsigned long kLineSetValue = 427;

// The Close selector that asks for a flush before the close.
const long kFlushFirst = 1;

void RaiseRegistryError(LONG result, unsigned long line)
{
    throw CxException(kRegistryErrorFlags, static_cast<unsigned long>(result), __FILE__, line);
}

} // namespace

// A new object holds no key.
CxRegistryKey::CxRegistryKey() : m_hKey(nullptr) {}

// Closes a key that is still open, without flushing. A failing close is
// reported by the exception's own construction (trace and console line) and
// then dropped here, whether or not another exception is unwinding: a
// destructor must not throw, because an exception leaving it ends the process
// (destructors are noexcept, and a second exception during unwinding calls
// std::terminate). The handle is lost with the object either way.
CxRegistryKey::~CxRegistryKey()
{
    if (m_hKey == nullptr)
        return;
    try {
        Close(0);
    } catch (...) {
    }
}

// Creates the key or opens it when it exists, after closing (without flush) a
// key this object held. Returns the system's disposition: REG_CREATED_NEW_KEY
// or REG_OPENED_EXISTING_KEY. Raises with line 233 when the system refuses;
// the object then holds no key.
unsigned long CxRegistryKey::Create(HKEY root, const char* path, char* className, unsigned long options, REGSAM access,
                                    LPSECURITY_ATTRIBUTES security)
{
    if (m_hKey != nullptr)
        Close(0);

    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(root, path, 0, className, options, access, security, &m_hKey, &disposition);
    if (result != ERROR_SUCCESS)
        RaiseRegistryError(result, kLineCreate);
    return disposition;
}

// Closes the held key, flushing it first when selector is exactly 1. The handle
// goes to the system unchecked, null included. Returns 0. A refused flush
// raises with line 293, a refused close with line 267; both keep the handle.
long CxRegistryKey::Close(long selector)
{
    if (selector == kFlushFirst)
        Flush();

    LONG result = RegCloseKey(m_hKey);
    if (result != ERROR_SUCCESS)
        RaiseRegistryError(result, kLineClose);
    m_hKey = nullptr;
    return 0;
}

// Writes the held key to storage. Raises with line 293 when the system refuses.
void CxRegistryKey::Flush()
{
    LONG result = RegFlushKey(m_hKey);
    if (result != ERROR_SUCCESS)
        RaiseRegistryError(result, kLineFlush);
}

// Sets one value of the held key; name, type, data and size go to the system
// unchanged. Returns 0. Raises with line 427 when the system refuses; the key
// stays open.
long CxRegistryKey::SetValue(const char* name, unsigned long type, const BYTE* data, unsigned long size)
{
    LONG result = RegSetValueExA(m_hKey, name, 0, type, data, size);
    if (result != ERROR_SUCCESS)
        RaiseRegistryError(result, kLineSetValue);
    return 0;
}

// Sets a REG_SZ value; the stored size counts the terminating zero. Returns 0;
// raises as SetValue does.
long CxRegistryKey::SetString(const char* name, const char* text)
{
    return SetValue(name, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<unsigned long>(strlen(text) + 1));
}
