// wnd - window operations, message dispatch through message maps, painting
// and the geometry of centring.
#include "wnd.h"

#include "winapp.h"

POINT FwCentredImageOrigin(const RECT& client, int width, int height)
{
    // Signed division truncates toward zero: an image one pixel wider than the
    // area still starts at 0, not at -1.
    POINT origin;
    origin.x = (client.right - client.left - width + 1) / 2;
    origin.y = (client.bottom - client.top - height + 1) / 2;
    return origin;
}

POINT FwCentredWindowOrigin(const RECT& window, const RECT& around, const RECT& area)
{
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    POINT origin;
    origin.x = around.left + (around.right - around.left - width) / 2;
    origin.y = around.top + (around.bottom - around.top - height) / 2;
    if (origin.x + width > area.right)
        origin.x = area.right - width;
    if (origin.x < area.left)
        origin.x = area.left;
    if (origin.y + height > area.bottom)
        origin.y = area.bottom - height;
    if (origin.y < area.top)
        origin.y = area.top;
    return origin;
}

int FwMessageBox(HWND owner, const WCHAR* text, UINT type)
{
    return ::MessageBoxW(owner, text, FwGetApp() != nullptr ? FwGetApp()->m_pszAppNameW : L"", type);
}

void CWnd::CenterWindow()
{
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && (!IsWindowVisible(owner) || ::IsIconic(owner)))
        owner = nullptr;

    RECT area;
    RECT around;
    if (owner != nullptr) {
        MONITORINFO monitor;
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
        area = monitor.rcWork;
        GetWindowRect(owner, &around);
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        around = area;
    }
    RECT window;
    GetWindowRect(m_hWnd, &window);
    const POINT origin = FwCentredWindowOrigin(window, around, area);
    SetWindowPos(m_hWnd, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::OnSysCommand(UINT, LPARAM)
{
    Default();
}

void CWnd::OnPaint()
{
    Default();
}

void CWnd::OnDestroy()
{
    Default();
}

BOOL CWnd::OnHelpInfo(HELPINFO*)
{
    CWinApp* app = FwGetApp();
    CWnd* mainWnd = app != nullptr ? app->m_pMainWnd : nullptr;
    if ((GetStyle() & WS_CHILD) == 0 && mainWnd != nullptr && mainWnd->m_hWnd != nullptr) {
        mainWnd->SendMessage(WM_COMMAND, ID_HELP);
        return TRUE;
    }
    Default();
    return FALSE;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const FwMessageEntry* entry = FwFindMessageEntry(GetMessageMap(), message, wParam);
    if (entry == nullptr) {
        *result = 0;
        return message == WM_COMMAND && FwGetApp() != nullptr && FwGetApp()->OnCmdMsg(wParam);
    }
    // A handler may run a nested modal loop that brings this window more
    // messages; each dispatch keeps its own request for default processing.
    const bool outerDefaultWanted = m_defaultWanted;
    m_defaultWanted = false;
    *result = entry->thunk(this, wParam, lParam);
    const bool handled = !m_defaultWanted;
    m_defaultWanted = outerDefaultWanted;
    return handled;
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd)
{
    m_hDC = BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    EndPaint(m_hWnd, &m_ps);
}
