// launcherapp.h - the launcher's application object: one copy at a time, the
// core library up around the "Codec Configuration" dialog.
#ifndef FERROTUNE_LAUNCHERAPP_H
#define FERROTUNE_LAUNCHERAPP_H

#include "framework.h"

class CLauncherApp : public CWinApp {
public:
    CLauncherApp();

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Result of LumaretInitialize; only 0 means the library is up and has to
    // be shut down. -1 until initialisation has given a result.
    int m_nInitResult;
    HANDLE m_hInstanceMutex; // the single-instance mutex, held until ExitInstance

    DECLARE_MESSAGE_MAP()

private:
    void BringRunningCopyForward();

    // The exit code of a start with a switch; -1 for the dialog's start,
    // which ends with the framework's own.
    int m_nExitCode;
};

#endif
