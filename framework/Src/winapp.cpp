// winapp - the application object and the program's entry point.
#include "winapp.h"

#include "wnd.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <cxxabi.h>

namespace {

CWinApp* s_app = nullptr;

// Where the file name starts in a path: after its last '\\', '/' or ':'.
template <typename Char> const Char* FileNameStart(const Char* path)
{
    const Char* start = path;
    for (const Char* at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/' || *at == ':')
            start = at + 1;
    }
    return start;
}

// Copies at most size - 1 bytes of the first length bytes of source, and the
// terminating zero; nothing at all into a buffer of size 0.
void CopyCut(char* destination, size_t size, const char* source, size_t length)
{
    if (size == 0)
        return;
    if (length > size - 1)
        length = size - 1;
    memcpy(destination, source, length);
    destination[length] = '\0';
}

// The default title as wide text, from the module's path read wide; empty
// when the path does not fit.
void WideTitleFromModule(HINSTANCE module, WCHAR title[MAX_PATH])
{
    WCHAR path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    title[0] = L'\0';
    if (length == 0 || length >= MAX_PATH)
        return;
    const WCHAR* name = FileNameStart(path);
    const WCHAR* dot = wcsrchr(name, L'.');
    const size_t count = dot != nullptr ? dot - name : wcslen(name);
    wmemcpy(title, name, count);
    title[count] = L'\0';
}

} // namespace

void FwAppTitleFromModulePath(const char* path, char* title, size_t size)
{
    const char* name = FileNameStart(path);
    const char* dot = strrchr(name, '.');
    CopyCut(title, size, name, dot != nullptr ? dot - name : strlen(name));
}

void FwHelpFilePath(const char* modulePath, char* helpFile, size_t size)
{
    static const char kExtension[] = ".HLP";
    const char* dot = strrchr(FileNameStart(modulePath), '.');
    const size_t stem = dot != nullptr ? dot - modulePath : strlen(modulePath);
    // A cut path would name another file, and no module path names none.
    if (stem == 0 || stem + sizeof(kExtension) > size) {
        CopyCut(helpFile, size, "", 0);
        return;
    }
    memcpy(helpFile, modulePath, stem);
    memcpy(helpFile + stem, kExtension, sizeof(kExtension));
}

CWinApp* FwGetApp()
{
    return s_app;
}

HINSTANCE FwResourceHandle()
{
    return s_app != nullptr ? s_app->m_hInstance : GetModuleHandleA(nullptr);
}

CWinApp::CWinApp(const char* appName)
    : m_pszAppName(nullptr), m_pszAppNameW(nullptr), m_pszHelpFilePath(nullptr), m_hInstance(GetModuleHandleA(nullptr)),
      m_pMainWnd(nullptr), m_ctl3d(nullptr), m_exitCode(0)
{
    s_app = this;

    // A path that does not fit is taken as no path at all.
    char modulePath[MAX_PATH];
    const DWORD length = GetModuleFileNameA(m_hInstance, modulePath, sizeof(modulePath));
    if (length == 0 || length >= sizeof(modulePath))
        modulePath[0] = '\0';

    if (appName != nullptr)
        CopyCut(m_title, sizeof(m_title), appName, strlen(appName));
    else if (LoadStringA(m_hInstance, IDS_FW_APP_TITLE, m_title, sizeof(m_title)) <= 0)
        FwAppTitleFromModulePath(modulePath, m_title, sizeof(m_title));
    m_pszAppName = m_title;
    // The title once more, read wide, so that a file name outside the ANSI
    // code page keeps its characters in the boxes.
    if (appName != nullptr) {
        if (MultiByteToWideChar(CP_ACP, 0, appName, -1, m_titleW, MAX_PATH) == 0)
            m_titleW[0] = L'\0';
    } else if (LoadStringW(m_hInstance, IDS_FW_APP_TITLE, m_titleW, MAX_PATH) <= 0) {
        WideTitleFromModule(m_hInstance, m_titleW);
    }
    m_pszAppNameW = m_titleW;
    FwHelpFilePath(modulePath, m_helpFilePath, sizeof(m_helpFilePath));
    m_pszHelpFilePath = m_helpFilePath;
}

CWinApp::~CWinApp()
{
    if (s_app == this)
        s_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_exitCode;
}

HICON CWinApp::LoadIcon(UINT id) const
{
    return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id));
}

void CWinApp::OnHelp()
{
    HWND owner = m_pMainWnd != nullptr ? m_pMainWnd->m_hWnd : nullptr;
    WinHelpA(owner, m_pszHelpFilePath, HELP_FINDER, 0);
}

int CWinApp::Run()
{
    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (got == 0)
        m_exitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

int CWinApp::RunApplication(HINSTANCE instance)
{
    m_hInstance = instance;
    const int exitCode = InitInstance() ? Run() : ExitInstance();
    Disable3dControls();
    return exitCode;
}

// The runtime's default terminate handler names the uncaught exception's type
// through its demangler, a third of the program's size; this one tells an
// exception that was not caught from a terminate without one (a direct call,
// a pure virtual call) without naming types, and ends the program as
// abnormally as that one does. It replaces the runtime's own because the
// runtime is linked statically: the linker takes a library's definition only
// of a name that the program leaves undefined.
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    if (abi::__cxa_current_exception_type() != nullptr)
        fputs("terminate called: an exception was not caught\n", stderr);
    else
        fputs("terminate called: no exception is active\n", stderr);
    abort();
}
} // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = FwGetApp();
    if (app == nullptr) {
        OutputDebugStringA("The program has no application object.\n");
        return -1;
    }
    return app->RunApplication(instance);
}
