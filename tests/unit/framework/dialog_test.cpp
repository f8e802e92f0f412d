// Modal dialogs of the framework, run for real by the dialog manager: how a
// run ends, default processing, data exchange, results of handlers, centring,
// ownership, the main-window pointer and the route of the Help command.
#include "framework.h"
#include "testdialogs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

namespace {

const UINT WM_RUN_SCRIPT = WM_APP;
const UINT_PTR kWatchdogTimer = 1;
const INT_PTR kTimedOut = -99;
const INT_PTR kGoResult = 42;
const HCURSOR kDragCursor = reinterpret_cast<HCURSOR>(static_cast<INT_PTR>(0x1234));

// A dialog that records what reaches its handlers and, once it runs, plays a
// script inside its own modal loop. A watchdog ends a run that hangs.
class ScriptedDlg : public CDialog {
public:
    typedef std::function<void(ScriptedDlg&)> Script;

    ScriptedDlg(UINT templateId, Script script, CWnd* parent = nullptr) : CDialog(templateId, parent), m_script(script)
    {
    }

    bool m_passSysCommands = true; // hand system commands to the default processing
    bool m_moveInInit = false;     // OnInitDialog moves the dialog to (3, 4)
    std::vector<BOOL> m_exchanges; // m_bSaveAndValidate of every data exchange
    std::vector<UINT> m_sysCommands;
    CButton m_go;

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (m_moveInInit)
            SetWindowPos(m_hWnd, nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        PostMessageA(m_hWnd, WM_RUN_SCRIPT, 0, 0);
        SetTimer(m_hWnd, kWatchdogTimer, 30000, nullptr);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override
    {
        m_exchanges.push_back(dx->m_bSaveAndValidate);
        DDX_Control(dx, IDC_GO, m_go);
    }

    void OnSysCommand(UINT id, LPARAM lParam)
    {
        m_sysCommands.push_back(id);
        if (m_passSysCommands)
            CDialog::OnSysCommand(id, lParam);
    }
    HCURSOR OnQueryDragIcon() { return kDragCursor; }
    void OnGo() { EndDialog(kGoResult); }
    void OnRunScript() { m_script(*this); }
    void OnWatchdog() { EndDialog(kTimedOut); }

    DECLARE_MESSAGE_MAP()

private:
    Script m_script;
};

// A message handled by void memberFxn(), whatever its parameters.
#define ON_PLAIN_MESSAGE(message, memberFxn) {(message), 0, 0, &FwThunk::Plain<&ThisClass::memberFxn>},

BEGIN_MESSAGE_MAP(ScriptedDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_GO, OnGo)
    ON_PLAIN_MESSAGE(WM_RUN_SCRIPT, OnRunScript)
    ON_PLAIN_MESSAGE(WM_TIMER, OnWatchdog)
END_MESSAGE_MAP()

// An application object whose command map takes the Help command.
class HelpApp : public CWinApp {
public:
    int m_helpCommands = 0;
    void OnTestHelp() { ++m_helpCommands; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(HelpApp, CWinApp)
    ON_COMMAND(ID_HELP, OnTestHelp)
END_MESSAGE_MAP()

struct Posted {
    UINT message;
    WPARAM wParam;
};

struct EndCase {
    const char* what;
    std::vector<Posted> posted;
    bool passSysCommands;
    INT_PTR result;
    std::vector<BOOL> exchanges;
    std::vector<UINT> sysCommands;
};

TEST(DialogRun, EndsWithTheIdOfWhatEndedIt)
{
    const EndCase cases[] = {
        {"Exit button (IDOK)", {{WM_COMMAND, IDOK}}, true, IDOK, {FALSE, TRUE}, {}},
        {"IDCANCEL", {{WM_COMMAND, IDCANCEL}}, true, IDCANCEL, {FALSE}, {}},
        {"close box", {{WM_CLOSE, 0}}, true, IDCANCEL, {FALSE}, {}},
        {"Esc", {{WM_KEYDOWN, VK_ESCAPE}}, true, IDCANCEL, {FALSE}, {}},
        {"Close from the system menu", {{WM_SYSCOMMAND, SC_CLOSE}}, true, IDCANCEL, {FALSE}, {SC_CLOSE}},
        {"a handler that keeps Close from the default processing",
         {{WM_SYSCOMMAND, SC_CLOSE}, {WM_COMMAND, IDOK}},
         false,
         IDOK,
         {FALSE, TRUE},
         {SC_CLOSE}},
        {"a button's own handler", {{WM_COMMAND, MAKEWPARAM(IDC_GO, BN_CLICKED)}}, true, kGoResult, {FALSE}, {}},
        {"another notification than a click",
         {{WM_COMMAND, MAKEWPARAM(IDC_GO, BN_SETFOCUS)}, {WM_COMMAND, IDCANCEL}},
         true,
         IDCANCEL,
         {FALSE},
         {}},
    };
    for (const EndCase& c : cases) {
        ScriptedDlg dlg(IDD_PLAIN, [&c](ScriptedDlg& d) {
            for (const Posted& p : c.posted)
                PostMessageA(d.m_hWnd, p.message, p.wParam, 0);
        });
        dlg.m_passSysCommands = c.passSysCommands;
        EXPECT_EQ(c.result, dlg.DoModal()) << c.what;
        EXPECT_EQ(c.exchanges, dlg.m_exchanges) << c.what;
        EXPECT_EQ(c.sysCommands, dlg.m_sysCommands) << c.what;
        EXPECT_EQ(nullptr, dlg.m_hWnd) << c.what;
    }
}

TEST(DialogRun, AMissingTemplateGivesMinusOne)
{
    ScriptedDlg dlg(999, [](ScriptedDlg& d) { d.EndDialog(IDOK); });
    EXPECT_EQ(-1, dlg.DoModal());
}

TEST(DialogRun, DataExchangeBindsTheControlToTheButtonObject)
{
    HWND bound = nullptr;
    HWND control = nullptr;
    ScriptedDlg dlg(IDD_PLAIN, [&](ScriptedDlg& d) {
        bound = d.m_go.m_hWnd;
        control = GetDlgItem(d.m_hWnd, IDC_GO);
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    ASSERT_NE(nullptr, control);
    EXPECT_EQ(control, bound);
}

TEST(DialogRun, AHandlersResultReachesTheSenderForMessagesThatReturnOne)
{
    LRESULT dragCursor = 0;
    ScriptedDlg dlg(IDD_PLAIN, [&](ScriptedDlg& d) {
        dragCursor = SendMessageA(d.m_hWnd, WM_QUERYDRAGICON, 0, 0);
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(reinterpret_cast<LRESULT>(kDragCursor), dragCursor);
}

RECT WorkArea()
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

LONG CentreX(const RECT& r)
{
    return (r.left + r.right) / 2;
}

LONG CentreY(const RECT& r)
{
    return (r.top + r.bottom) / 2;
}

TEST(DialogPlace, OpensCentredInTheWorkAreaUnlessTheTemplateOrOnInitDialogPlacesIt)
{
    const struct {
        const char* what;
        UINT templateId;
        bool moveInInit;
        bool centred;
    } cases[] = {
        {"classic template at (0, 0)", IDD_PLAIN, false, true},
        {"extended template at (0, 0)", IDD_PLAIN_EX, false, true},
        {"classic template with a position", IDD_PLACED, false, false},
        {"extended template with a position", IDD_PLACED_EX, false, false},
        {"moved by OnInitDialog", IDD_PLAIN, true, false},
    };
    const RECT area = WorkArea();
    for (const auto& c : cases) {
        RECT shown = {};
        ScriptedDlg dlg(c.templateId, [&](ScriptedDlg& d) {
            GetWindowRect(d.m_hWnd, &shown);
            d.EndDialog(IDOK);
        });
        dlg.m_moveInInit = c.moveInInit;
        ASSERT_EQ(IDOK, dlg.DoModal()) << c.what;
        const bool centred =
            std::abs(CentreX(shown) - CentreX(area)) <= 1 && std::abs(CentreY(shown) - CentreY(area)) <= 1;
        EXPECT_EQ(c.centred, centred) << c.what << ": at " << shown.left << "," << shown.top;
        if (c.moveInInit) {
            EXPECT_EQ(3, shown.left);
            EXPECT_EQ(4, shown.top);
        }
    }
}

TEST(DialogPlace, ADialogWithoutParentIsOwnedByTheMainWindowAndCentredOverIt)
{
    HelpApp app;
    HWND outerWindow = nullptr;
    HWND owner = nullptr;
    RECT outerRect = {}, innerRect = {};
    ScriptedDlg outer(IDD_PLAIN, [&](ScriptedDlg& o) {
        // Off the centre, so that centred over the owner differs from centred on the screen.
        SetWindowPos(o.m_hWnd, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        outerWindow = o.m_hWnd;
        GetWindowRect(o.m_hWnd, &outerRect);
        ScriptedDlg centredInner(IDD_PLAIN, [&](ScriptedDlg& i) {
            owner = GetWindow(i.m_hWnd, GW_OWNER);
            GetWindowRect(i.m_hWnd, &innerRect);
            i.EndDialog(IDOK);
        });
        centredInner.DoModal();
        o.EndDialog(IDOK);
    });
    app.m_pMainWnd = &outer;
    ASSERT_EQ(IDOK, outer.DoModal());
    EXPECT_EQ(outerWindow, owner);
    EXPECT_LE(std::abs(CentreX(innerRect) - CentreX(outerRect)), 1);
    EXPECT_LE(std::abs(CentreY(innerRect) - CentreY(outerRect)), 1);
}

TEST(DialogPlace, ADialogCentredOverItsOwnerStaysInsideTheWorkArea)
{
    HelpApp app;
    const RECT area = WorkArea();
    RECT innerRect = {};
    ScriptedDlg outer(IDD_PLAIN, [&](ScriptedDlg& o) {
        // At the work area's left edge; the wide dialog centred over it would stick out.
        SetWindowPos(o.m_hWnd, nullptr, area.left, area.top + 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ScriptedDlg wide(IDD_WIDE, [&](ScriptedDlg& w) {
            GetWindowRect(w.m_hWnd, &innerRect);
            w.EndDialog(IDOK);
        });
        wide.DoModal();
        o.EndDialog(IDOK);
    });
    app.m_pMainWnd = &outer;
    ASSERT_EQ(IDOK, outer.DoModal());
    EXPECT_EQ(area.left, innerRect.left);
}

TEST(DialogRun, TheMainWindowPointerIsClearedWhenTheMainDialogIsDestroyed)
{
    HelpApp app;
    CWnd* mainDuringRun = nullptr;
    ScriptedDlg dlg(IDD_PLAIN, [&](ScriptedDlg& d) {
        mainDuringRun = app.m_pMainWnd;
        d.EndDialog(IDOK);
    });
    app.m_pMainWnd = &dlg;
    dlg.DoModal();
    EXPECT_EQ(&dlg, mainDuringRun);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
}

TEST(DialogRun, HelpCommandAndF1GoToTheApplicationsCommandMap)
{
    const struct {
        const char* what;
        UINT message;
        WPARAM wParam;
    } cases[] = {
        {"Help command", WM_COMMAND, ID_HELP},
        {"F1 (WM_HELP)", WM_HELP, 0},
    };
    for (const auto& c : cases) {
        HelpApp app;
        ScriptedDlg dlg(IDD_PLAIN, [&](ScriptedDlg& d) {
            HELPINFO info = {};
            info.cbSize = sizeof(info);
            info.iContextType = HELPINFO_WINDOW;
            info.hItemHandle = d.m_hWnd;
            SendMessageA(d.m_hWnd, c.message, c.wParam, reinterpret_cast<LPARAM>(&info));
            d.EndDialog(IDOK);
        });
        app.m_pMainWnd = &dlg;
        dlg.DoModal();
        EXPECT_EQ(1, app.m_helpCommands) << c.what;
    }
}

} // namespace
