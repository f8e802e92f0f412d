// winapp - the application object and the program's entry point.
#include "winapp.h"

#include "wnd.h"

#include <string.h>

namespace {

CWinApp* s_app = nullptr;

// Where the file name starts in a path: after its last '\\', '/' or ':'.
size_t FileNameStart(const std::string& path)
{
    const size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? 0 : separator + 1;
}

std::string ModulePath(HINSTANCE module)
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, path, sizeof(path));
    return std::string(path, length < sizeof(path) ? length : 0);
}

} // namespace

std::string FwAppTitleFromModulePath(const char* path)
{
    std::string name(path);
    name.erase(0, FileNameStart(name));
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

std::string FwHelpFilePath(const char* modulePath)
{
    std::string path(modulePath);
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot >= FileNameStart(path))
        path.erase(dot);
    return path + ".HLP";
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
    : m_pszAppName(nullptr), m_pszHelpFilePath(nullptr), m_hInstance(GetModuleHandleA(nullptr)), m_pMainWnd(nullptr),
      m_ctl3d(nullptr), m_exitCode(0)
{
    s_app = this;

    const std::string modulePath = ModulePath(m_hInstance);
    char title[256];
    if (appName != nullptr)
        m_title = appName;
    else if (LoadStringA(m_hInstance, IDS_FW_APP_TITLE, title, sizeof(title)) > 0)
        m_title = title;
    else
        m_title = FwAppTitleFromModulePath(modulePath.c_str());
    m_pszAppName = m_title.c_str();
    m_helpFilePath = FwHelpFilePath(modulePath.c_str());
    m_pszHelpFilePath = m_helpFilePath.c_str();
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = FwGetApp();
    if (app == nullptr) {
        OutputDebugStringA("The program has no application object.\n");
        return -1;
    }
    return app->RunApplication(instance);
}
