// dialog - modal dialogs over the dialog manager (DialogBoxParamA), their
// dialog procedure, opening centred, and the data exchange.
#include "dialog.h"

#include "winapp.h"

namespace {

// Messages whose result the dialog procedure returns itself; for all others
// it goes through DWLP_MSGRESULT and the procedure returns TRUE.
bool ResultIsReturnedDirectly(UINT message)
{
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

bool TemplatePlacesDialog(HINSTANCE module, UINT templateId)
{
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(5)); // RT_DIALOG
    HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    return data != nullptr && FwTemplatePlacesDialog(data);
}

} // namespace

bool FwTemplatePlacesDialog(const void* dialogTemplate)
{
    const WORD* words = static_cast<const WORD*>(dialogTemplate);
    // Extended: dlgVer 1, signature 0xFFFF, helpID, exStyle, style, cDlgItems, x, y.
    // Classic: style, dwExtendedStyle, cdit, x, y.
    const bool extended = words[0] == 1 && words[1] == 0xFFFF;
    const WORD* style = extended ? words + 6 : words;
    const WORD* position = extended ? words + 9 : words + 5;
    const DWORD styleBits = style[0] | (static_cast<DWORD>(style[1]) << 16);
    return position[0] != 0 || position[1] != 0 || (styleBits & (DS_CENTER | DS_CENTERMOUSE)) != 0;
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
    ON_WM_HELPINFO()
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_nIDTemplate(templateId), m_pParentWnd(parent), m_templatePlaces(false)
{
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE module = FwResourceHandle();
    m_templatePlaces = TemplatePlacesDialog(module, m_nIDTemplate);

    HWND owner = nullptr;
    if (m_pParentWnd != nullptr)
        owner = m_pParentWnd->m_hWnd;
    else if (FwGetApp() != nullptr && FwGetApp()->m_pMainWnd != nullptr)
        owner = FwGetApp()->m_pMainWnd->m_hWnd;
    return DialogBoxParamA(module, MAKEINTRESOURCEA(m_nIDTemplate), owner, FwDialogProc,
                           reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::UpdateData(BOOL save)
{
    CDataExchange dx(this, save);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

INT_PTR CDialog::HandleInitDialog()
{
    RECT before;
    GetWindowRect(m_hWnd, &before);
    const BOOL result = OnInitDialog();
    RECT after;
    GetWindowRect(m_hWnd, &after);
    // A dialog that OnInitDialog moved or showed keeps its place.
    if (!m_templatePlaces && !IsWindowVisible(m_hWnd) && EqualRect(&before, &after))
        CenterWindow();
    return result;
}

INT_PTR CDialog::HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result;
    const bool handled = OnWndMsg(message, wParam, lParam, &result);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        CWinApp* app = FwGetApp();
        if (app != nullptr && app->m_pMainWnd == this)
            app->m_pMainWnd = nullptr;
    }
    if (!handled)
        return FALSE;
    if (ResultIsReturnedDirectly(message))
        return result;
    SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

// noexcept: a C++ exception must never unwind through the dialog manager's
// frames; one that reaches this boundary ends the program here instead.
INT_PTR CALLBACK FwDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_INITDIALOG) {
        CDialog* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        dialog->m_hWnd = hwnd;
        return dialog->HandleInitDialog();
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) find no dialog object yet.
    CDialog* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    return dialog->HandleMessage(hwnd, message, wParam, lParam);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    control.m_hWnd = GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
}
