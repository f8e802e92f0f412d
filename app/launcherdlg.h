// launcherdlg.h - "Codec Configuration", the launcher's main dialog: opens the
// QV4Z compressor in query mode and offers its configuration dialog and its
// About box, each only if the compressor says it has it.
#ifndef FERROTUNE_LAUNCHERDLG_H
#define FERROTUNE_LAUNCHERDLG_H

#include "framework.h"

#include <vfw.h>

class CLauncherDlg : public CDialog {
public:
    explicit CLauncherDlg(CWnd* parent = nullptr);

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnDestroy();
    void OnConfigure();
    void OnAboutCodec();

    DECLARE_MESSAGE_MAP()

    CButton m_btnAboutCodec;
    CButton m_btnConfigure;
    HICON m_hIcon;
    HIC m_hic; // the compressor, open from OnInitDialog to OnDestroy

private:
    void AppendAboutMenuEntry();
    void OpenCompressor();
};

#endif
