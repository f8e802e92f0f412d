// winapp.h - the application object. The program defines exactly one static
// object derived from CWinApp; the framework's entry point (WinMain) calls its
// InitInstance, then either runs a message loop (InitInstance gave TRUE) or
// goes straight on, calls ExitInstance and ends the process with its result.
#ifndef FRAMEWORK_WINAPP_H
#define FRAMEWORK_WINAPP_H

#include "cmdtarget.h"

#include <stddef.h>

class CWnd;

const UINT ID_HELP = 0xE146;          // the standard Help command
const UINT IDS_FW_APP_TITLE = 0xE000; // optional string resource: the application title

class CWinApp : public CCmdTarget {
public:
    // appName null: the default title (string IDS_FW_APP_TITLE, else the
    // executable's file name without directory and extension).
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    // Start hook. TRUE runs the message loop until WM_QUIT; FALSE ends at once.
    virtual BOOL InitInstance();
    // End hook; its result is the process exit code. By default the exit code
    // that WM_QUIT carried, 0 when no message loop ran.
    virtual int ExitInstance();

    // Gives dialog controls the three-dimensional look on window systems older
    // than major version 4 (CTL3D, loaded at run time); newer ones have it already.
    BOOL Enable3dControlsStatic();
    // Icon resource id of the program, at the standard icon size; null if missing.
    HICON LoadIcon(UINT id) const;
    // The Help command's handler: opens the help file (m_pszHelpFilePath).
    void OnHelp();

    const char* m_pszAppName;      // application title, the default message-box caption
    const WCHAR* m_pszAppNameW;    // the same, read as wide text, for boxes made of wide text
    const char* m_pszHelpFilePath; // the executable's full path with the extension ".HLP"
    HINSTANCE m_hInstance;         // the program's module, which holds its resources
    CWnd* m_pMainWnd;              // the main window; cleared when that window is destroyed

private:
    friend int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);
    int RunApplication(HINSTANCE instance);
    int Run();
    void Disable3dControls();

    char m_title[MAX_PATH];
    WCHAR m_titleW[MAX_PATH];
    char m_helpFilePath[MAX_PATH + 4];
    HMODULE m_ctl3d; // CTL3D while it is registered
    int m_exitCode;
};

// The application object; null before it is constructed.
CWinApp* FwGetApp();
// The module that holds the program's resources.
HINSTANCE FwResourceHandle();

// The default application title for a module path: the part after the last
// '\\', '/' or ':' and before the last dot of that part. Both functions
// write a zero-terminated text of at most size - 1 bytes, nothing when size
// is 0.
void FwAppTitleFromModulePath(const char* path, char* title, size_t size);
// The help file beside a module: its path with the file name's extension
// (or none) replaced by ".HLP"; an empty text when that does not fit or the
// module path is empty, never a cut path.
void FwHelpFilePath(const char* modulePath, char* helpFile, size_t size);

#endif
