// aboutdlg - the About box: template IDD_ABOUT; OK and Esc end it through the
// framework's defaults.
#include "aboutdlg.h"

#include "resource.h"

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

// No parent: the framework makes the application's main window the owner.
CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT) {}

void CAboutDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
}
