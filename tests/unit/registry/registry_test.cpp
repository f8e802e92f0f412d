// CxRegistryKey against Wine's real registry: what it creates and writes, and
// how each refusal of the system is raised.
#include "registrytestkey.h"

#include <string>
#include <vector>

namespace {

const char kOtherKey[] = "Software\\FerrotuneTests\\RegistryKey\\Other";

// System error codes the failures below carry.
const unsigned long kAccessDenied = 5;           // ERROR_ACCESS_DENIED
const unsigned long kInvalidHandle = 6;          // ERROR_INVALID_HANDLE
const unsigned long kNoAccess = 998;             // ERROR_NOACCESS: the data cannot be read
const unsigned long kKeyDeleted = 1018;          // ERROR_KEY_DELETED
const unsigned long kChildMustBeVolatile = 1021; // ERROR_CHILD_MUST_BE_VOLATILE

// Creates or opens the test key through the object, with the given access.
unsigned long CreateTestKey(CxRegistryKey& key, REGSAM access = KEY_ALL_ACCESS)
{
    return key.Create(HKEY_CURRENT_USER, kTestKey, nullptr, 0, access, nullptr);
}

void SeedValue()
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "seed", 0, REG_SZ, reinterpret_cast<const BYTE*>("s"), 2));
    RegCloseKey(key);
}

// True when the value can be read through the handle: the key is still open.
bool CanReadSeed(HKEY key)
{
    DWORD type = 0;
    return RegQueryValueExA(key, "seed", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
}

// Removes the key behind the object's handle: the handle stays valid, the
// system then refuses to flush or write through it but accepts its close.
void DeleteKeyBehindHandle()
{
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey));
}

struct StoredValue {
    LONG result;
    DWORD type;
    std::string bytes;
};

// Reads a value through a handle of its own, not the object's.
StoredValue ReadValue(const char* path, const char* name)
{
    StoredValue value = {ERROR_SUCCESS, 0, std::string()};
    HKEY key = nullptr;
    value.result = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key);
    if (value.result != ERROR_SUCCESS)
        return value;
    char buffer[256];
    DWORD size = sizeof(buffer);
    value.result = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size);
    if (value.result == ERROR_SUCCESS)
        value.bytes.assign(buffer, size);
    RegCloseKey(key);
    return value;
}

typedef RegistryKeyTest RegistryKey;

TEST_F(RegistryKey, CreateReportsANewKeyThenAnExistingOne)
{
    CxRegistryKey first;
    EXPECT_EQ(nullptr, first.Handle());
    EXPECT_EQ(1ul, CreateTestKey(first)); // REG_CREATED_NEW_KEY
    EXPECT_NE(nullptr, first.Handle());
    EXPECT_TRUE(TestKeyExists());

    CxRegistryKey second;
    EXPECT_EQ(2ul, CreateTestKey(second)); // REG_OPENED_EXISTING_KEY
    EXPECT_NE(nullptr, second.Handle());
    EXPECT_EQ(0, second.Close(0));
    EXPECT_EQ(nullptr, second.Handle());
}

TEST_F(RegistryKey, CreatePassesClassNameAndOptionsToTheSystem)
{
    char className[] = "FerrotuneClass";
    CxRegistryKey key;
    ASSERT_EQ(1ul, key.Create(HKEY_CURRENT_USER, kTestKey, className, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr));

    char stored[64] = "";
    DWORD length = sizeof(stored);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(key.Handle(), stored, &length, nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_STREQ("FerrotuneClass", stored);

    // Only a volatile key refuses a lasting child.
    HKEY child = nullptr;
    EXPECT_EQ(static_cast<LONG>(kChildMustBeVolatile),
              RegCreateKeyExA(key.Handle(), "Lasting", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &child, nullptr));
}

struct WriteCase {
    const char* label;
    const char* name;   // null: the key's default value
    const char* text;   // non-null: written with SetString
    unsigned long type; // otherwise written with SetValue
    std::string data;
    unsigned long size;
    DWORD storedType;
    std::string storedBytes;
};

TEST_F(RegistryKey, WrittenValuesReadBackWithTheirTypeAndSize)
{
    using std::string;
    const WriteCase cases[] = {
        {"text counts its terminator", "Text", "hello", 0, "", 0, REG_SZ, string("hello\0", 6)},
        {"empty text has size 1", "Empty", "", 0, "", 0, REG_SZ, string("\0", 1)},
        {"default value", nullptr, "dflt", 0, "", 0, REG_SZ, string("dflt\0", 5)},
        {"dword", "Dword", nullptr, REG_DWORD, "\x78\x56\x34\x12", 4, REG_DWORD, "\x78\x56\x34\x12"},
        {"binary", "Binary", nullptr, REG_BINARY, string("\x00\xFF\x10", 3), 3, REG_BINARY, string("\x00\xFF\x10", 3)},
        {"size zero", "Nothing", nullptr, REG_BINARY, "abc", 0, REG_BINARY, ""},
        {"size short of the text", "Cut", nullptr, REG_SZ, "abc", 2, REG_SZ, "ab"},
        {"multi string", "Multi", nullptr, REG_MULTI_SZ, string("a\0bc\0", 6), 6, REG_MULTI_SZ, string("a\0bc\0", 6)},
    };

    CxRegistryKey key;
    ASSERT_EQ(1ul, CreateTestKey(key));
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.label);
        long result = c.text ? key.SetString(c.name, c.text)
                             : key.SetValue(c.name, c.type, reinterpret_cast<const BYTE*>(c.data.data()), c.size);
        EXPECT_EQ(0, result);

        StoredValue stored = ReadValue(kTestKey, c.name);
        ASSERT_EQ(ERROR_SUCCESS, stored.result);
        EXPECT_EQ(c.storedType, stored.type);
        EXPECT_EQ(c.storedBytes.size(), stored.bytes.size());
        EXPECT_EQ(c.storedBytes, stored.bytes);
    }
}

TEST_F(RegistryKey, SecondCreateClosesTheFirstKeyWithoutFlushingIt)
{
    CxRegistryKey key;
    ASSERT_EQ(1ul, CreateTestKey(key));
    // A flush of this handle would now be refused; its close is accepted.
    DeleteKeyBehindHandle();

    EXPECT_EQ(1ul, key.Create(HKEY_CURRENT_USER, kOtherKey, nullptr, 0, KEY_ALL_ACCESS, nullptr));
    EXPECT_EQ(0, key.SetString("Where", "other"));
    EXPECT_EQ(std::string("other\0", 6), ReadValue(kOtherKey, "Where").bytes);
}

TEST_F(RegistryKey, SecondCreateClosesTheFirstKeyBeforeCreating)
{
    CxRegistryKey key;
    ASSERT_EQ(1ul, CreateTestKey(key));
    HKEY first = key.Handle();
    ASSERT_TRUE(ProtectFromClose(first, true));

    EXPECT_EQ(RegistryFailure(kInvalidHandle, 267),
              RaisedBy([&] { key.Create(HKEY_CURRENT_USER, kOtherKey, nullptr, 0, KEY_ALL_ACCESS, nullptr); }));
    EXPECT_EQ(first, key.Handle());
    EXPECT_FALSE(TestKeyExists(kOtherKey));

    ASSERT_TRUE(ProtectFromClose(first, false));
    EXPECT_EQ(0, key.Close(0));
}

struct FailedCreateCase {
    const char* label;
    HKEY root;
    bool keyOpenBefore;
};

TEST_F(RegistryKey, CreateUnderAMissingRootRaisesLine233AndLeavesNoKeyOpen)
{
    const FailedCreateCase cases[] = {
        {"null root, nothing open", nullptr, false},
        {"unassigned predefined root, key open before", (HKEY)(ULONG_PTR)((LONG)0x80000010), true},
    };
    for (const FailedCreateCase& c : cases) {
        SCOPED_TRACE(c.label);
        CxRegistryKey key;
        if (c.keyOpenBefore)
            CreateTestKey(key);
        EXPECT_EQ(RegistryFailure(kInvalidHandle, 233), RaisedBy([&] {
                      key.Create(c.root, "Software\\FerrotuneTests", nullptr, 0, KEY_ALL_ACCESS, nullptr);
                  }));
        EXPECT_EQ(nullptr, key.Handle());
    }
}

// How the handle is made hard to flush or close before Close is called.
enum CloseSetup {
    Healthy,         // flush and close accepted
    KeyDeleted,      // flush refused (ERROR_KEY_DELETED), close accepted
    HandleProtected, // flush accepted, close refused (ERROR_INVALID_HANDLE)
};

struct CloseCase {
    CloseSetup setup;
    long selector;
    Raised raised;
};

TEST_F(RegistryKey, CloseFlushesFirstOnlyForSelectorOne)
{
    const CloseCase cases[] = {
        {Healthy, 0, kNothingRaised},
        {Healthy, 1, kNothingRaised},
        {Healthy, 2, kNothingRaised},
        {KeyDeleted, 1, RegistryFailure(kKeyDeleted, 293)},
        {KeyDeleted, 0, kNothingRaised},
        {KeyDeleted, 2, kNothingRaised},
        {KeyDeleted, -1, kNothingRaised},
        {KeyDeleted, 0x101, kNothingRaised},
        {HandleProtected, 1, RegistryFailure(kInvalidHandle, 267)},
        {HandleProtected, 0, RegistryFailure(kInvalidHandle, 267)},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "setup " << c.setup << ", selector " << c.selector);
        RemoveTestKey();
        CxRegistryKey key;
        ASSERT_EQ(1ul, CreateTestKey(key));
        HKEY held = key.Handle();
        if (c.setup == KeyDeleted)
            DeleteKeyBehindHandle();
        if (c.setup == HandleProtected) {
            ASSERT_TRUE(ProtectFromClose(held, true));
        }

        long result = -1;
        EXPECT_EQ(c.raised, RaisedBy([&] { result = key.Close(c.selector); }));
        if (c.raised == kNothingRaised) {
            EXPECT_EQ(0, result);
            EXPECT_EQ(nullptr, key.Handle());
        } else {
            EXPECT_EQ(held, key.Handle());
            ProtectFromClose(held, false);
            EXPECT_EQ(0, key.Close(0));
        }
    }
}

struct FlushCase {
    CloseSetup setup;
    Raised raised;
};

TEST_F(RegistryKey, FlushRaisesLine293OnlyWhenTheSystemRefuses)
{
    const FlushCase cases[] = {
        {Healthy, kNothingRaised},
        {KeyDeleted, RegistryFailure(kKeyDeleted, 293)},
    };
    for (const FlushCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "setup " << c.setup);
        RemoveTestKey();
        CxRegistryKey key;
        ASSERT_EQ(1ul, CreateTestKey(key));
        HKEY held = key.Handle();
        if (c.setup == KeyDeleted)
            DeleteKeyBehindHandle();
        EXPECT_EQ(c.raised, RaisedBy([&] { key.Flush(); }));
        EXPECT_EQ(held, key.Handle());
    }
}

struct RefusedWriteCase {
    const char* label;
    REGSAM access;
    bool viaSetString;
    const BYTE* data; // for SetValue
    unsigned long code;
};

TEST_F(RegistryKey, RefusedWriteRaisesLine427AndTheKeyStaysOpen)
{
    static const BYTE dword[4] = {1, 0, 0, 0};
    const RefusedWriteCase cases[] = {
        {"read-only key, SetValue", KEY_READ, false, dword, kAccessDenied},
        {"read-only key, SetString", KEY_READ, true, nullptr, kAccessDenied},
        {"unreadable data", KEY_ALL_ACCESS, false, nullptr, kNoAccess},
    };
    SeedValue();
    for (const RefusedWriteCase& c : cases) {
        SCOPED_TRACE(c.label);
        CxRegistryKey key;
        ASSERT_EQ(2ul, CreateTestKey(key, c.access));
        HKEY held = key.Handle();

        EXPECT_EQ(RegistryFailure(c.code, 427), RaisedBy([&] {
                      if (c.viaSetString)
                          key.SetString("Refused", "text");
                      else
                          key.SetValue("Refused", REG_BINARY, c.data, 4);
                  }));
        EXPECT_EQ(held, key.Handle());
        EXPECT_TRUE(CanReadSeed(key.Handle()));
        if (c.access == KEY_ALL_ACCESS) {
            EXPECT_EQ(0, key.SetString("Later", "written"));
            EXPECT_EQ(std::string("written\0", 8), ReadValue(kTestKey, "Later").bytes);
        }
        EXPECT_EQ(0, key.Close(0));
    }
}

} // namespace
