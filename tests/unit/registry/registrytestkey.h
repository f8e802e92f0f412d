// registrytestkey.h - shared by the registry key tests: a scratch key under
// HKEY_CURRENT_USER that every test starts without and leaves removed, and
// the words of a raised CxException.
#ifndef FERROTUNE_TESTS_REGISTRYTESTKEY_H
#define FERROTUNE_TESTS_REGISTRYTESTKEY_H

#include "lumaret.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

const char kTestParent[] = "Software\\FerrotuneTests";
const char kTestKey[] = "Software\\FerrotuneTests\\RegistryKey";

// The four words of an exception that an operation raised; all zero if none.
struct Raised {
    unsigned long flags;
    unsigned long code;
    unsigned long reserved;
    unsigned long line;
    bool operator==(const Raised& other) const
    {
        return flags == other.flags && code == other.code && reserved == other.reserved && line == other.line;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Raised& r)
{
    return out << std::hex << "{flags 0x" << r.flags << std::dec << ", code " << r.code << ", reserved " << r.reserved
               << ", line " << r.line << "}";
}

const Raised kNothingRaised = {0, 0, 0, 0};

// What a failing registry call raises: flag word 0x190004 with the system's code.
inline Raised RegistryFailure(unsigned long code, unsigned long line)
{
    return Raised{0x190004, code, 0, line};
}

template <typename Operation> Raised RaisedBy(Operation operation)
{
    try {
        operation();
    } catch (const CxException& e) {
        return Raised{e.m_flags, e.m_code, e.m_reserved, e.m_line};
    }
    return kNothingRaised;
}

// A handle marked protected from close: the system refuses to close it
// (ERROR_INVALID_HANDLE) while the key behind it stays open and usable.
inline bool ProtectFromClose(HKEY key, bool protect)
{
    return SetHandleInformation(reinterpret_cast<HANDLE>(key), HANDLE_FLAG_PROTECT_FROM_CLOSE,
                                protect ? HANDLE_FLAG_PROTECT_FROM_CLOSE : 0) != FALSE;
}

inline void RemoveTestKey()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestParent); // only when empty
}

inline bool TestKeyExists(const std::string& path = kTestKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class RegistryKeyTest : public testing::Test {
protected:
    void SetUp() override
    {
        RemoveTestKey();
        ASSERT_FALSE(TestKeyExists());
    }
    void TearDown() override
    {
        RemoveTestKey();
        EXPECT_FALSE(TestKeyExists());
    }
};

#endif
