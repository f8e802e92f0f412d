// wnd.h - CWnd, the owner of nothing but a window handle: thin calls on that
// window, and the message dispatch through the class's message map.
#ifndef FRAMEWORK_WND_H
#define FRAMEWORK_WND_H

#include "cmdtarget.h"

// A message box captioned with the application title; owner may be null.
int FwMessageBox(HWND owner, const WCHAR* text, UINT type = MB_OK);

class CWnd : public CCmdTarget {
public:
    CWnd() = default;

    HWND GetSafeHwnd() const { return m_hWnd; }
    DWORD GetStyle() const { return static_cast<DWORD>(GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    // A message box owned by this window, captioned with the application title.
    int MessageBox(const WCHAR* text, UINT type = MB_OK) { return FwMessageBox(m_hWnd, text, type); }
    // Centres the window over its owner, or in the primary monitor's work area
    // when it has none (or the owner is hidden or minimised), then moves it as
    // far as needed to lie inside the work area.
    void CenterWindow();

    HWND m_hWnd = nullptr;

protected:
    // Asks for the system's default processing of the message being handled;
    // it is done as soon as the handler returns.
    void Default() { m_defaultWanted = true; }

    // Handlers whose own work is the default processing; a derived handler
    // calls them to pass a message on.
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    void OnDestroy();
    // F1: a top-level window sends the Help command to the main window.
    BOOL OnHelpInfo(HELPINFO* info);

    // Runs the message map's handler for a message: true with its result, or
    // false when there is none or it asked for the default processing. A
    // command no handler of the window takes goes to the application's map.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

private:
    bool m_defaultWanted = false;
};

// Paints a window between BeginPaint and EndPaint for the life of the object.
class CPaintDC {
public:
    explicit CPaintDC(CWnd* wnd);
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    ~CPaintDC();

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

    HDC m_hDC;

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps;
};

// Where an image of the given size goes to sit centred in a client area: each
// coordinate (extent - image size + 1) / 2 in signed integers, truncated toward zero.
POINT FwCentredImageOrigin(const RECT& client, int width, int height);

// Where a window goes to be centred over the rectangle around and lie within
// area: centred first, then pushed back inside area (its left and top edges
// win when the window is larger than the area).
POINT FwCentredWindowOrigin(const RECT& window, const RECT& around, const RECT& area);

namespace FwThunk {

// void OnSysCommand(UINT id, LPARAM lParam)
template <auto F> LRESULT SysCommand(CCmdTarget* target, WPARAM wParam, LPARAM lParam)
{
    (Self<F>(target)->*F)(static_cast<UINT>(wParam), lParam);
    return 0;
}

// HCURSOR OnQueryDragIcon()
template <auto F> LRESULT Handle(CCmdTarget* target, WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>((Self<F>(target)->*F)());
}

// BOOL OnHelpInfo(HELPINFO* info)
template <auto F> LRESULT HelpInfo(CCmdTarget* target, WPARAM, LPARAM lParam)
{
    return (Self<F>(target)->*F)(reinterpret_cast<HELPINFO*>(lParam));
}

} // namespace FwThunk

#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &FwThunk::SysCommand<&ThisClass::OnSysCommand>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &FwThunk::Plain<&ThisClass::OnPaint>},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, &FwThunk::Handle<&ThisClass::OnQueryDragIcon>},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, &FwThunk::Plain<&ThisClass::OnDestroy>},
#define ON_WM_HELPINFO() {WM_HELP, 0, 0, &FwThunk::HelpInfo<&ThisClass::OnHelpInfo>},

#endif
