// childscenario.h - test programs that start themselves again as a child.
//
// A scenario is a function that runs in a fresh copy of the test program,
// started under the debugger helper, so a test can read the child's real
// debugger output, standard output and exit code:
//
//   CHILD_SCENARIO(TraceHello) { LumaretTrace("hello\n"); return 0; }
//   TEST(Trace, Hello) { DebugCapture c = RunChildScenario("TraceHello"); ... }
#ifndef FERROTUNE_TESTS_CHILDSCENARIO_H
#define FERROTUNE_TESTS_CHILDSCENARIO_H

#include "debuggee.h"

#include <string>
#include <vector>

typedef int (*ChildScenarioFunction)(const std::vector<std::string>& args);

struct ChildScenarioRegistrar {
    ChildScenarioRegistrar(const char* name, ChildScenarioFunction function);
};

#define CHILD_SCENARIO(name)                                                                                 \
    static int ChildScenario_##name(const std::vector<std::string>& args);                                   \
    static ChildScenarioRegistrar s_childScenario_##name(#name, ChildScenario_##name);                       \
    static int ChildScenario_##name([[maybe_unused]] const std::vector<std::string>& args)

// Runs the named scenario in a new copy of this program, under the debugger.
// args are handed to the scenario; environment entries "NAME=value" are added.
DebugCapture RunChildScenario(const std::string& name, const std::vector<std::string>& args = {},
                              const std::vector<std::string>& environment = {}, DWORD timeoutMs = 60000);

// Debugger-output lines as one text, for readable failure messages.
std::string JoinLines(const std::vector<std::string>& lines);

#endif
