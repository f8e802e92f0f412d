// launcherapp - start and end of the launcher. Everything happens inside
// InitInstance, which returns FALSE on every path: the framework runs no
// message loop and calls ExitInstance at once.
#include "launcherapp.h"

#include "commandline.h"
#include "commands.h"
#include "launcherdlg.h"

#include "lumaret.h"

BEGIN_MESSAGE_MAP(CLauncherApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

namespace {

const char kMutexName[] = "VelquistFerrotuneMutex";
const char kDialogCaption[] = "Codec Configuration";
const char kInitFailed[] = "ERROR: LumaretInitialize() failed\n";

// Runs a command that takes no lock and brings nothing forward: /check, which
// runs beside an open copy, and the usage, which is all that a wrong command
// line does. Its exit code, or -1 for any other command.
int RunWithoutTheLock(const CommandLine& command)
{
    if (command.mode == LAUNCH_CHECK)
        return RunCheck(command.out);
    if (command.mode == LAUNCH_USAGE || command.mode == LAUNCH_BAD)
        return ShowUsage(command.mode == LAUNCH_BAD);
    return -1;
}

} // namespace

// The one application object.
CLauncherApp theApp;

CLauncherApp::CLauncherApp() : m_nInitResult(-1), m_hInstanceMutex(nullptr), m_nExitCode(-1) {}

BOOL CLauncherApp::InitInstance()
{
    Enable3dControlsStatic();

    const CommandLine command = ParseCommandLine(GetCommandLineW());
    m_nExitCode = RunWithoutTheLock(command);
    if (m_nExitCode != -1)
        return FALSE;

    // The handle is kept whatever came back; a copy that cannot create the
    // mutex runs unguarded. No copy ever waits on it.
    m_hInstanceMutex = CreateMutexA(nullptr, TRUE, kMutexName);
    if (m_hInstanceMutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        BringRunningCopyForward();
        if (command.mode != LAUNCH_DIALOG)
            m_nExitCode = kExitAlreadyRunning;
        return FALSE;
    }

    // The profile collection of a first initialisation can raise instead of
    // returning a code; that counts as a failed initialisation, and the
    // result stays "not initialised".
    try {
        m_nInitResult = static_cast<int>(LumaretInitialize());
    } catch (const CxException&) {
    }
    if (m_nInitResult != 0) {
        OutputDebugStringA(kInitFailed);
        return FALSE;
    }
    if (command.mode == LAUNCH_CONFIGURE || command.mode == LAUNCH_ABOUT) {
        m_nExitCode = RunCodecDialog(command.mode == LAUNCH_ABOUT);
        return FALSE;
    }

    CLauncherDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    return FALSE;
}

// The running copy's dialog, if there is one yet, comes to the foreground as
// it is: a minimised dialog stays minimised.
void CLauncherApp::BringRunningCopyForward()
{
    HWND running = FindWindowA(nullptr, kDialogCaption);
    if (running != nullptr)
        SetForegroundWindow(running);
}

int CLauncherApp::ExitInstance()
{
    if (m_nInitResult == 0)
        LumaretUninitialize();
    if (m_hInstanceMutex != nullptr) {
        CloseHandle(m_hInstanceMutex);
        m_hInstanceMutex = nullptr;
    }
    const int exitCode = CWinApp::ExitInstance();
    return m_nExitCode != -1 ? m_nExitCode : exitCode;
}
