// dialog.h - modal dialogs from a dialog template resource, and the data
// exchange that binds their controls to objects.
#ifndef FRAMEWORK_DIALOG_H
#define FRAMEWORK_DIALOG_H

#include "wnd.h"

class CDataExchange;

class CDialog : public CWnd {
public:
    // templateId: the dialog template resource. parent null: the application's
    // main window, if it has one, owns the dialog.
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Creates the dialog from its template and runs it modally. Gives the value
    // that ended it (EndDialog), or -1 when it could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }
    // Runs the data exchange: save TRUE reads the controls, FALSE fills them.
    BOOL UpdateData(BOOL save = TRUE);

protected:
    // WM_INITDIALOG: runs the data exchange (filling). The result goes back to
    // the dialog manager: TRUE gives the focus to the first control that takes it.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* dx);
    // IDOK: the data exchange (saving), then the end with IDOK.
    virtual void OnOK();
    // IDCANCEL (Esc, the close box): the end with IDCANCEL.
    virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

private:
    friend INT_PTR CALLBACK FwDialogProc(HWND, UINT, WPARAM, LPARAM) noexcept;
    INT_PTR HandleInitDialog();
    INT_PTR HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    bool m_templatePlaces; // the template gives a position or a centring style
};

// The dialog procedure of every CDialog.
INT_PTR CALLBACK FwDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Whether a dialog template (classic or extended) places its dialog itself:
// a position other than (0, 0), or the style DS_CENTER or DS_CENTERMOUSE.
bool FwTemplatePlacesDialog(const void* dialogTemplate);

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL save) : m_bSaveAndValidate(save), m_pDlgWnd(dialog) {}

    BOOL m_bSaveAndValidate; // TRUE: controls to data; FALSE: data to controls
    CWnd* m_pDlgWnd;
};

// Binds control id of the dialog to the object control (its window handle).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

#endif
