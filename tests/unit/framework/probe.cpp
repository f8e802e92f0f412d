// probe - a program on the framework's own entry point. What its application
// object sees goes to the debugger output, one line each:
//   title        "title <application title>", "help <help file path>"
//   loop         InitInstance posts WM_QUIT with 7 and returns TRUE
//   throw        InitInstance throws an exception that nobody catches
//   terminate    InitInstance calls std::terminate with no exception active
//   3d           "3d <Enable3dControlsStatic result> <major version> <CTL3D loaded: 0|1>"
// and "init" first, from the start hook, and "exit" last, from the end hook,
// which a throw or terminate never reaches. Its standard error goes to its
// standard output, where a test reads what the terminate handler says.
#include "framework.h"

#include <io.h>
#include <stdio.h>
#include <string.h>

#include <exception>

namespace {

void Say(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    OutputDebugStringA(line);
}

class ProbeApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        _dup2(_fileno(stdout), _fileno(stderr));
        Say("init");
        const char* mode = strrchr(GetCommandLineA(), ' ');
        mode = mode != nullptr ? mode + 1 : "";
        if (strcmp(mode, "title") == 0) {
            Say("title %s", m_pszAppName);
            Say("help %s", m_pszHelpFilePath);
        } else if (strcmp(mode, "loop") == 0) {
            PostQuitMessage(7);
            return TRUE;
        } else if (strcmp(mode, "throw") == 0) {
            throw 1;
        } else if (strcmp(mode, "terminate") == 0) {
            std::terminate();
        } else if (strcmp(mode, "3d") == 0) {
            const BOOL result = Enable3dControlsStatic();
            Say("3d %d %u %d", result, LOBYTE(LOWORD(GetVersion())), GetModuleHandleA("CTL3D32.DLL") != nullptr);
        }
        return FALSE;
    }
    int ExitInstance() override
    {
        Say("exit");
        return CWinApp::ExitInstance();
    }
};

ProbeApp theProbe;

} // namespace
