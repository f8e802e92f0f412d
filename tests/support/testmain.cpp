// testmain.cpp - the entry point of every GoogleTest program: runs a child
// scenario when started as "--child-scenario NAME args...", the tests otherwise.
#include "childscenario.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <map>

namespace {

std::map<std::string, ChildScenarioFunction>& Scenarios()
{
    static std::map<std::string, ChildScenarioFunction> scenarios;
    return scenarios;
}

const char kChildSwitch[] = "--child-scenario";

std::string Quote(const std::string& arg)
{
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

ChildScenarioRegistrar::ChildScenarioRegistrar(const char* name, ChildScenarioFunction function)
{
    Scenarios()[name] = function;
}

DebugCapture RunChildScenario(const std::string& name, const std::vector<std::string>& args,
                              const std::vector<std::string>& environment, DWORD timeoutMs)
{
    std::string commandLine = Quote(ThisProgramPath()) + " " + kChildSwitch + " " + Quote(name);
    for (const std::string& arg : args)
        commandLine += " " + Quote(arg);
    return RunUnderDebugger(commandLine, timeoutMs, environment);
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "[" + line + "]\n";
    return text;
}

int main(int argc, char** argv)
{
    if (argc >= 3 && strcmp(argv[1], kChildSwitch) == 0) {
        auto found = Scenarios().find(argv[2]);
        if (found == Scenarios().end()) {
            fprintf(stderr, "unknown child scenario %s\n", argv[2]);
            return 125;
        }
        int result = found->second(std::vector<std::string>(argv + 3, argv + argc));
        fflush(stdout);
        return result;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
