// launcherdlg - the "Codec Configuration" dialog.
#include "launcherdlg.h"

#include "aboutdlg.h"
#include "commands.h"
#include "compressor.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CLauncherDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_WM_DESTROY()
    ON_BN_CLICKED(IDC_CONFIGURE, OnConfigure)
    ON_BN_CLICKED(IDC_ABOUT_CODEC, OnAboutCodec)
END_MESSAGE_MAP()

CLauncherDlg::CLauncherDlg(CWnd* parent) : CDialog(IDD_LAUNCHER, parent), m_hic(nullptr)
{
    m_hIcon = FwGetApp()->LoadIcon(IDI_APP);
}

void CLauncherDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_ABOUT_CODEC, m_btnAboutCodec);
    DDX_Control(dx, IDC_CONFIGURE, m_btnConfigure);
}

BOOL CLauncherDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    AppendAboutMenuEntry();

    // One icon handle serves both the big and the small icon.
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    OpenCompressor();
    // TRUE: the dialog manager gives the focus to the first control that takes it.
    return TRUE;
}

// A separator and "&About Ferrotune..." at the end of the system menu; nothing
// at all when the menu or the text is missing.
void CLauncherDlg::AppendAboutMenuEntry()
{
    HMENU menu = GetSystemMenu(FALSE);
    if (menu == nullptr)
        return;
    char text[256];
    if (LoadStringA(FwResourceHandle(), IDS_ABOUT_MENU, text, sizeof(text)) <= 0)
        return;
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, text);
}

// Opens the compressor in query mode and enables the button of each dialog it
// offers. Without a compressor both stay disabled and a message box says so.
void CLauncherDlg::OpenCompressor()
{
    PrepareCrashReport(FwResourceHandle(), FwGetApp()->m_pszAppNameW, m_hWnd);
    m_hic = VfwOpen(kCompressorType, kCompressorHandler, ICMODE_QUERY);
    if (m_hic == nullptr) {
        // Only now is the installation read, to tell the user what keeps the
        // installed codec from opening, or that it crashed while starting.
        ShowCodecMissing(m_hWnd);
        return;
    }
    if (CompressorOffers(m_hic, ICM_CONFIGURE))
        m_btnConfigure.EnableWindow(TRUE);
    if (CompressorOffers(m_hic, ICM_ABOUT))
        m_btnAboutCodec.EnableWindow(TRUE);
}

// Every command whose low 16 bits lie in 0x0010..0x001F is the About entry.
void CLauncherDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == IDM_ABOUT) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(id, lParam);
    }
}

// Minimised, the dialog draws its icon centred in the client area itself.
void CLauncherDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(&client);
    const POINT origin = FwCentredImageOrigin(client, iconWidth, iconHeight);
    dc.DrawIcon(origin.x, origin.y, m_hIcon);
}

// The cursor shown while the minimised dialog is dragged.
HCURSOR CLauncherDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

void CLauncherDlg::OnDestroy()
{
    if (m_hic != nullptr) {
        VfwClose(m_hic);
        m_hic = nullptr;
    }
    CDialog::OnDestroy();
}

// The action is the installable driver's configure message (DRV_CONFIGURE),
// not ICM_CONFIGURE, the question that enabled the button. The dialog is the
// parent of whatever the compressor shows; its answer is not used.
void CLauncherDlg::OnConfigure()
{
    VfwSendMessage(m_hic, DRV_CONFIGURE, reinterpret_cast<DWORD_PTR>(m_hWnd), 0, CODEC_CONFIGURING);
}

void CLauncherDlg::OnAboutCodec()
{
    VfwSendMessage(m_hic, ICM_ABOUT, reinterpret_cast<DWORD_PTR>(m_hWnd), 0, CODEC_SHOWING_ABOUT);
}
