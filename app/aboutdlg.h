// aboutdlg.h - the launcher's own About box.
#ifndef FERROTUNE_ABOUTDLG_H
#define FERROTUNE_ABOUTDLG_H

#include "framework.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    void DoDataExchange(CDataExchange* dx) override;

    DECLARE_MESSAGE_MAP()
};

#endif
