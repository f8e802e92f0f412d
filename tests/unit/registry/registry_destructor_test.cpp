// The registry key's destructor, seen from outside the process: its debugger
// output, its console lines and whether it goes on to its end.
#include "childscenario.h"
#include "registrytestkey.h"

#include <stdio.h>

#include <string>
#include <vector>

namespace {

const char kThrownMarker[] = "Exception thrown in file ";

// The system's own text for an error code, without its line break.
std::string SystemText(DWORD code)
{
    char buffer[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer, sizeof(buffer),
                   nullptr);
    std::string text = buffer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Standard output as lines, carriage returns and blank lines dropped (the
// system's message texts bring a line break of their own).
std::vector<std::string> OutputLines(const std::string& output)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : output) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (!line.empty())
                lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// Where each report's trace line says the exception was thrown: "registry.cpp(267)".
std::vector<std::string> ThrowSites(const std::vector<std::string>& debugLines)
{
    std::vector<std::string> sites;
    for (const std::string& line : debugLines) {
        size_t at = line.find(kThrownMarker);
        if (at == std::string::npos)
            continue;
        std::string path = line.substr(at + sizeof(kThrownMarker) - 1);
        while (!path.empty() && path.back() == '\n')
            path.pop_back();
        size_t slash = path.find_last_of("/\\");
        sites.push_back(slash == std::string::npos ? path : path.substr(slash + 1));
    }
    return sites;
}

// args: the key path, then how the object ends: "never-opened", "closed",
// "failed-create".
CHILD_SCENARIO(RegistryKeyDestroyedWithoutKey)
{
    const std::string& how = args.at(1);
    {
        CxRegistryKey key;
        if (how == "closed") {
            key.Create(HKEY_CURRENT_USER, args.at(0).c_str(), nullptr, 0, KEY_ALL_ACCESS, nullptr);
            key.Close(0);
        } else if (how == "failed-create") {
            try {
                key.Create(nullptr, args.at(0).c_str(), nullptr, 0, KEY_ALL_ACCESS, nullptr);
            } catch (const CxException&) {
            }
        }
    }
    printf("went on\n");
    return 0;
}

// args: the key path, then "scope-exit" or "unwinding". The object's close is
// refused by the system when it is destroyed; with "unwinding" a refused write
// is travelling at that moment.
CHILD_SCENARIO(RegistryKeyDestroyedWithRefusedClose)
{
    bool unwinding = args.at(1) == "unwinding";
    try {
        CxRegistryKey key;
        key.Create(HKEY_CURRENT_USER, args.at(0).c_str(), nullptr, 0, KEY_READ, nullptr);
        if (!ProtectFromClose(key.Handle(), true))
            return 2;
        if (unwinding) {
            static const BYTE dword[4] = {1, 0, 0, 0};
            key.SetValue("Refused", REG_DWORD, dword, 4);
        }
    } catch (const CxException& e) {
        printf("caught 0x%lx %lu %lu %lu\n", e.m_flags, e.m_code, e.m_reserved, e.m_line);
    }
    printf("went on\n");
    return 0;
}

typedef RegistryKeyTest RegistryKeyDestructor;

// The system refuses to close a null handle, so a close of an object that
// holds no key would show as a report with line 267.
TEST_F(RegistryKeyDestructor, MakesNoRegistryCallWhenNoKeyIsOpen)
{
    struct Case {
        const char* how;
        std::vector<std::string> throwSites;
    };
    const Case cases[] = {
        {"never-opened", {}},
        {"closed", {}},
        {"failed-create", {"registry.cpp(233)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        DebugCapture child = RunChildScenario("RegistryKeyDestroyedWithoutKey", {kTestKey, c.how});
        ASSERT_TRUE(child.finished);
        EXPECT_EQ(0u, child.exitCode);
        EXPECT_EQ(c.throwSites, ThrowSites(child.debugLines)) << JoinLines(child.debugLines);
        std::vector<std::string> lines = OutputLines(child.standardOutput);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("went on", lines.back());
    }
}

TEST_F(RegistryKeyDestructor, RefusedCloseIsReportedAndTheProcessGoesOn)
{
    const std::string accessDenied = SystemText(5);
    const std::string invalidHandle = SystemText(6);
    struct Case {
        const char* how;
        std::vector<std::string> throwSites;
        std::vector<std::string> output;
    };
    const Case cases[] = {
        {"scope-exit", {"registry.cpp(267)"}, {"registry.cpp (267): " + invalidHandle, "went on"}},
        {"unwinding",
         {"registry.cpp(427)", "registry.cpp(267)"},
         {"registry.cpp (427): " + accessDenied, "registry.cpp (267): " + invalidHandle, "caught 0x190004 5 0 427",
          "went on"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        DebugCapture child = RunChildScenario("RegistryKeyDestroyedWithRefusedClose", {kTestKey, c.how});
        ASSERT_TRUE(child.finished);
        EXPECT_EQ(0u, child.exitCode);
        EXPECT_EQ(c.throwSites, ThrowSites(child.debugLines)) << JoinLines(child.debugLines);
        EXPECT_EQ(c.output, OutputLines(child.standardOutput)) << child.standardOutput;
    }
}

} // namespace
