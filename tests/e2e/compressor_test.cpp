// The "Codec Configuration" dialog and the compressor: which buttons the
// compressor's answers enable, what each button sends it, and what the user
// sees when no compressor opens: nothing installed, or why the installed one
// cannot be used.
#include "harness.h"

#include <gtest/gtest.h>

#include <string.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

const int kConfigureButton = 1000;
const int kAboutCodecButton = 1001;
const int kExitButton = 1;
#define CODEC_NOT_DETECTED "Codec not detected. Please make sure the codec is properly installed."

const char kDriversKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char kDriverValue[] = "vidc.QV4Z";
const char kStandinDll[] = "standin_qv4z.dll";
// The program's own registry view, and the one 32-bit programs read.
const REGSAM kOwnView = 0;
const REGSAM k32BitView = KEY_WOW64_32KEY;

// Where the stand-in compressor is registered for one run: the vidc.QV4Z
// entry of the program's own registry view, of the 32-bit view (which a
// 64-bit program's compressor manager never reads) and of system.ini's
// [drivers32] section. Null leaves an entry as the harness installed it, ""
// removes it. "{system}", "{windows}" and "{tests}" stand for the system
// folder, the Windows folder and this program's folder (with its backslash).
struct Registration {
    const char* own;
    const char* for32Bit;
    const char* systemIni;
};
const Registration kAsInstalled = {nullptr, nullptr, nullptr};

// text with the folders put in for their names.
std::string Expand(const char* text)
{
    char system[MAX_PATH] = {};
    char windows[MAX_PATH] = {};
    GetSystemDirectoryA(system, sizeof(system));
    GetWindowsDirectoryA(windows, sizeof(windows));
    const std::pair<const char*, std::string> names[] = {
        {"{system}", system}, {"{windows}", windows}, {"{tests}", ThisProgramFolder()}};
    std::string expanded = text;
    for (const auto& name : names) {
        for (size_t at = expanded.find(name.first); at != std::string::npos; at = expanded.find(name.first, at))
            expanded.replace(at, strlen(name.first), name.second);
    }
    return expanded;
}

// The vidc.QV4Z entry of one registry view: its value, or "" when there is none.
std::string DriverEntry(REGSAM view)
{
    char dll[MAX_PATH] = {};
    DWORD size = sizeof(dll) - 1;
    HKEY drivers = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriversKey, 0, KEY_QUERY_VALUE | view, &drivers) != ERROR_SUCCESS)
        return std::string();
    RegQueryValueExA(drivers, kDriverValue, nullptr, nullptr, reinterpret_cast<BYTE*>(dll), &size);
    RegCloseKey(drivers);
    return dll;
}

// Writes the vidc.QV4Z entry of one registry view, or removes it when dll is empty.
testing::AssertionResult SetDriverEntry(REGSAM view, const std::string& dll)
{
    HKEY drivers = nullptr;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDriversKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                  &drivers, nullptr);
    if (result == ERROR_SUCCESS) {
        result = dll.empty() ? RegDeleteValueA(drivers, kDriverValue)
                             : RegSetValueExA(drivers, kDriverValue, 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(dll.c_str()), DWORD(dll.size() + 1));
        RegCloseKey(drivers);
    }
    if (result == ERROR_SUCCESS || (dll.empty() && result == ERROR_FILE_NOT_FOUND))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "cannot set " << kDriverValue << " to \"" << dll << "\" in view 0x"
                                       << std::hex << view << ": error " << std::dec << result;
}

std::string IniEntry()
{
    char dll[MAX_PATH] = {};
    GetPrivateProfileStringA("drivers32", kDriverValue, "", dll, sizeof(dll), "system.ini");
    return dll;
}

testing::AssertionResult SetIniEntry(const std::string& dll)
{
    if (WritePrivateProfileStringA("drivers32", kDriverValue, dll.empty() ? nullptr : dll.c_str(), "system.ini"))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "cannot set " << kDriverValue << " in system.ini: error " << GetLastError();
}

// Registers the stand-in as a row asks for the life of the object, then puts
// back the entries it changed, so that later scenarios find it installed as
// before.
class RegisteredAs {
public:
    explicit RegisteredAs(const Registration& registration)
    {
        if (registration.own != nullptr) {
            m_own = DriverEntry(kOwnView);
            EXPECT_TRUE(SetDriverEntry(kOwnView, Expand(registration.own)));
        }
        if (registration.for32Bit != nullptr) {
            m_for32Bit = DriverEntry(k32BitView);
            EXPECT_TRUE(SetDriverEntry(k32BitView, Expand(registration.for32Bit)));
        }
        if (registration.systemIni != nullptr) {
            m_systemIni = IniEntry();
            EXPECT_TRUE(SetIniEntry(Expand(registration.systemIni)));
        }
    }
    ~RegisteredAs()
    {
        if (m_systemIni) {
            EXPECT_TRUE(SetIniEntry(*m_systemIni));
        }
        if (m_for32Bit) {
            EXPECT_TRUE(SetDriverEntry(k32BitView, *m_for32Bit));
        }
        if (m_own) {
            EXPECT_TRUE(SetDriverEntry(kOwnView, *m_own));
        }
    }
    RegisteredAs(const RegisteredAs&) = delete;
    RegisteredAs& operator=(const RegisteredAs&) = delete;

private:
    std::optional<std::string> m_own, m_for32Bit, m_systemIni;
};

bool Enabled(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr && IsWindowEnabled(control);
}

// Ends the run with Exit and waits for the process to go.
void LeaveWithExit(FerrotuneRun& run, HWND dialog)
{
    Click(GetDlgItem(dialog, kExitButton));
    EXPECT_TRUE(run.WaitForExit()) << "the program did not end after Exit";
}

// The question form of a capability message: first parameter -1, second 1.
// Only the low 32 bits of the first parameter are compared, which is all
// that -1 defines for a 32-bit parameter.
bool IsQuestion(const CompressorMessage& message)
{
    return (message.param1 & 0xFFFFFFFFull) == 0xFFFFFFFFull && message.param2 == 1;
}

struct Answers {
    const char* name;
    const char* configureAnswer;
    const char* aboutAnswer;
    bool configureEnabled;
    bool aboutCodecEnabled;
    Registration registration;
};

void PrintTo(const Answers& row, std::ostream* out)
{
    *out << row.name;
}

// ICERR_OK is 0; ICERR_UNSUPPORTED is -1; any other value is "no" as well.
// Empty: the stand-in's default answer, ICERR_OK, as the demo runs it.
const Answers kAnswers[] = {
    {"BothOfferedByDefault", "", "", true, true, kAsInstalled},
    {"BothOffered", "0", "0", true, true, kAsInstalled},
    {"OnlyConfigureOffered", "0", "-1", true, false, kAsInstalled},
    {"OnlyAboutOffered", "-1", "0", false, true, kAsInstalled},
    {"NeitherOffered", "-1", "-1", false, false, kAsInstalled},
    {"PositiveAnswerIsNotOk", "1", "0", false, true, kAsInstalled},
    {"OtherErrorIsNotOk", "0", "-100", true, false, kAsInstalled},
#if defined(_WIN64)
    // A 32-bit registration beside the 64-bit one changes nothing.
    {"BothOfferedAlsoRegisteredFor32Bit", "", "", true, true, {nullptr, kStandinDll, nullptr}},
#endif
};

class CompressorAnswers : public Scenario, public testing::WithParamInterface<Answers> {};

TEST_P(CompressorAnswers, EnableExactlyTheMatchingButtons)
{
    const Answers& row = GetParam();
    RegisteredAs registered(row.registration);
    CompressorLog log;
    CompressorSetup setup;
    setup.configureAnswer = row.configureAnswer;
    setup.aboutAnswer = row.aboutAnswer;
    FerrotuneRun run(log, setup);
    ASSERT_TRUE(run.Started()) << FerrotunePath();
    HWND dialog = run.WaitForDialog();
    ASSERT_NE(nullptr, dialog) << log.Text();

    EXPECT_EQ(row.configureEnabled, Enabled(dialog, kConfigureButton));
    EXPECT_EQ(row.aboutCodecEnabled, Enabled(dialog, kAboutCodecButton));
    EXPECT_TRUE(Enabled(dialog, kExitButton));

    // Opened once for queries only, with handler QV4Z, and asked each question once.
    std::vector<CompressorMessage> opens;
    for (const CompressorMessage& open : log.Messages(kDrvOpen)) {
        if (!open.handler.empty())
            opens.push_back(open);
    }
    ASSERT_EQ(1u, opens.size()) << log.Text();
    EXPECT_EQ("QV4Z", opens[0].handler);
    EXPECT_EQ(0u, _stricmp("vidc", opens[0].type.c_str())) << opens[0].type;
    EXPECT_EQ(4ul, opens[0].mode) << "ICMODE_QUERY";
    std::vector<CompressorMessage> configureQuestions = log.Messages(kIcmConfigure);
    std::vector<CompressorMessage> aboutQuestions = log.Messages(kIcmAbout);
    ASSERT_EQ(1u, configureQuestions.size()) << log.Text();
    ASSERT_EQ(1u, aboutQuestions.size()) << log.Text();
    EXPECT_TRUE(IsQuestion(configureQuestions[0])) << log.Text();
    EXPECT_TRUE(IsQuestion(aboutQuestions[0])) << log.Text();

    LeaveWithExit(run, dialog);
    EXPECT_TRUE(ClosedExactlyOnce(log));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CompressorAnswers, testing::ValuesIn(kAnswers),
                         [](const testing::TestParamInfo<Answers>& info) { return std::string(info.param.name); });

struct Action {
    const char* name;
    int button;
    unsigned message;            // what the click must send
    const char* compressorTitle; // caption of the dialog the compressor shows
    const char* compressorKind;  // its name in the compressor's log
};

void PrintTo(const Action& row, std::ostream* out)
{
    *out << row.name;
}

const Action kActions[] = {
    {"ConfigureSendsDriverConfigure", kConfigureButton, kDrvConfigure, "QV4Z Stand-in Settings", "configure"},
    {"AboutCodecSendsIcmAbout", kAboutCodecButton, kIcmAbout, "About QV4Z Stand-in", "about"},
};

class CompressorActions : public Scenario, public testing::WithParamInterface<Action> {};

// A click sends the one action message with the dialog's window handle and 0;
// the compressor's dialog is owned by the launcher's dialog, which waits for it.
TEST_P(CompressorActions, ClickSendsTheActionWithTheDialogHandle)
{
    const Action& row = GetParam();
    CompressorLog log;
    FerrotuneRun run(log);
    ASSERT_TRUE(run.Started()) << FerrotunePath();
    HWND dialog = run.WaitForDialog();
    ASSERT_NE(nullptr, dialog) << log.Text();
    ASSERT_TRUE(Enabled(dialog, row.button));
    size_t messagesBefore = log.Messages().size();

    Click(GetDlgItem(dialog, row.button));
    HWND compressorDialog = run.WaitForVisibleWindow(row.compressorTitle);
    ASSERT_NE(nullptr, compressorDialog) << log.Text();
    EXPECT_EQ(dialog, GetWindow(compressorDialog, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(dialog)) << "the launcher's dialog should wait for the compressor's";

    std::vector<CompressorMessage> messages = log.Messages();
    ASSERT_EQ(messagesBefore + 1, messages.size()) << "one message per click\n" << log.Text();
    const CompressorMessage& sent = messages.back();
    EXPECT_EQ(row.message, sent.message) << log.Text();
    EXPECT_EQ(reinterpret_cast<unsigned long long>(dialog), sent.param1);
    EXPECT_EQ(0ull, sent.param2);
    std::vector<CompressorDialog> shown = log.Dialogs();
    ASSERT_EQ(1u, shown.size()) << log.Text();
    EXPECT_EQ(row.compressorKind, shown[0].kind);
    EXPECT_EQ(reinterpret_cast<unsigned long long>(dialog), shown[0].owner);

    Click(GetDlgItem(compressorDialog, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(compressorDialog) && IsWindowEnabled(dialog); }));
    // Nothing is asked again and no button changes after the compressor's dialog.
    EXPECT_TRUE(Enabled(dialog, kConfigureButton));
    EXPECT_TRUE(Enabled(dialog, kAboutCodecButton));
    EXPECT_EQ(messagesBefore + 1, log.Messages().size()) << log.Text();

    LeaveWithExit(run, dialog);
    EXPECT_TRUE(ClosedExactlyOnce(log));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CompressorActions, testing::ValuesIn(kActions),
                         [](const testing::TestParamInfo<Action>& info) { return std::string(info.param.name); });

struct Missing {
    const char* name;
    bool refuses; // the stand-in is registered but refuses to open
    Registration registration;
    const char* text; // what the message box says, with folders as Registration names them
};

void PrintTo(const Missing& row, std::ostream* out)
{
    *out << row.name;
}

// Nothing registered gives the usual sentence alone. Where something is
// registered, a paragraph after it says why it cannot be used.
const Missing kMissing[] = {
    {"RegisteredNowhere", false, {"", nullptr, nullptr}, CODEC_NOT_DETECTED},
    {"RefusesToOpen", true, kAsInstalled,
     CODEC_NOT_DETECTED "\n\nThe codec's file {system}\\standin_qv4z.dll is installed, but the codec did not start: "
                        "the file may be damaged or may not be a codec. Please reinstall the codec, or ask its maker "
                        "for help."},
    {"FileMissing",
     false,
     {"qv4z_missing.dll", nullptr, nullptr},
     CODEC_NOT_DETECTED "\n\nThe codec is registered as \"qv4z_missing.dll\", but there is no file of that name in "
                        "the system folder ({system}), the Windows folder ({windows}), this program's folder or a "
                        "folder on the PATH."},
#if defined(_WIN64)
    {"DllFor32BitPrograms",
     false,
     {"{tests}otherbits_qv4z.dll", nullptr, nullptr},
     CODEC_NOT_DETECTED "\n\nThe codec's file {tests}otherbits_qv4z.dll is a 32-bit DLL, which this 64-bit "
                        "Ferrotune cannot use. A 32-bit codec installed for 32-bit programs is configured with the "
                        "32-bit Ferrotune (x86\\Ferrotune.exe)."},
    {"NoDriverProc",
     false,
     {"{tests}nodriverproc_qv4z.dll", nullptr, nullptr},
     CODEC_NOT_DETECTED "\n\nThe codec's file {tests}nodriverproc_qv4z.dll is installed, but the codec did not "
                        "start: the file may be damaged or may not be a codec. Please reinstall the codec, or ask its "
                        "maker for help."},
    // The program's own registration decides, whatever the 32-bit view holds.
    {"FileMissingBesideA32BitRegistration",
     false,
     {"{system}\\qv4z_gone.dll", kStandinDll, nullptr},
     CODEC_NOT_DETECTED "\n\nThe codec is registered as \"{system}\\qv4z_gone.dll\", but that file does not "
                        "exist."},
    {"FileNameEndsAtASpace",
     false,
     {"{system}\\qv4z gone.dll", nullptr, nullptr},
     CODEC_NOT_DETECTED "\n\nThe codec is registered as \"{system}\\qv4z gone.dll\". The compressor manager "
                        "takes the text before the first space, \"{system}\\qv4z\", for the codec's file, and "
                        "there is no such file."},
    {"FileMissingInSystemIni",
     false,
     {"", nullptr, "qv4z_ini.dll"},
     CODEC_NOT_DETECTED "\n\nThe codec is registered as \"qv4z_ini.dll\", but there is no file of that name in "
                        "the system folder ({system}), the Windows folder ({windows}), this program's folder or a "
                        "folder on the PATH."},
    {"RegisteredFor32BitOnly",
     false,
     {"", kStandinDll, nullptr},
     "The codec is installed for 32-bit programs only, so this 64-bit Ferrotune cannot use it. "
     "Please use the 32-bit Ferrotune (x86\\Ferrotune.exe) to configure it."},
#else
    // The machine that runs the 32-bit tests has a 32-bit Windows.
    {"DllFor64BitPrograms",
     false,
     {"{tests}otherbits_qv4z.dll", nullptr, nullptr},
     CODEC_NOT_DETECTED "\n\nThe codec's file {tests}otherbits_qv4z.dll is a 64-bit DLL, which cannot run on this "
                        "32-bit Windows. Please install the codec's 32-bit version."},
#endif
};

class CompressorMissing : public Scenario, public testing::WithParamInterface<Missing> {};

// No compressor: the message box comes first, owned by the still hidden dialog;
// afterwards the dialog shows with both compressor buttons disabled, the About
// box and Exit work, and no compressor is closed at the end.
TEST_P(CompressorMissing, MessageBoxBeforeTheDialogThenBothButtonsDisabled)
{
    const Missing& row = GetParam();
    RegisteredAs registered(row.registration);
    CompressorLog log;
    CompressorSetup setup;
    setup.missing = row.refuses;
    FerrotuneRun run(log, setup);
    ASSERT_TRUE(run.Started()) << FerrotunePath();

    HWND box = run.WaitForVisibleWindow("Ferrotune");
    ASSERT_NE(nullptr, box) << "no message box captioned \"Ferrotune\"\n" << log.Text();
    std::vector<HWND> dialogs = TopLevelWindows(run.ProcessId(), kDialogCaption);
    ASSERT_EQ(1u, dialogs.size());
    HWND dialog = dialogs[0];
    EXPECT_FALSE(IsWindowVisible(dialog)) << "the dialog showed before the message box";
    EXPECT_EQ(dialog, GetWindow(box, GW_OWNER));
    EXPECT_EQ(std::vector<std::string>{Expand(row.text)}, StaticTexts(box));
    std::vector<std::string> buttons;
    for (HWND child : ChildWindows(box)) {
        if (_stricmp(WindowClass(child).c_str(), "Button") == 0 && IsWindowVisible(child))
            buttons.push_back(WindowText(child));
    }
    EXPECT_EQ(std::vector<std::string>{"OK"}, buttons);
    for (HWND child : ChildWindows(box)) {
        bool iconControl = _stricmp(WindowClass(child).c_str(), "Static") == 0 &&
                           (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
        if (iconControl && IsWindowVisible(child)) {
            EXPECT_EQ(0, SendMessageA(child, STM_GETICON, 0, 0)) << "the message box shows an icon";
        }
    }

    Click(FindChild(box, "Button", "OK"));
    ASSERT_EQ(dialog, run.WaitForDialog());
    EXPECT_TRUE(TopLevelWindows(run.ProcessId(), "Ferrotune").empty()) << "the message box came up again";
    EXPECT_FALSE(Enabled(dialog, kConfigureButton));
    EXPECT_FALSE(Enabled(dialog, kAboutCodecButton));
    EXPECT_TRUE(Enabled(dialog, kExitButton));

    PostSystemCommand(dialog, 0x0010);
    HWND about = run.WaitForVisibleWindow("About Ferrotune");
    ASSERT_NE(nullptr, about);
    Click(FindChild(about, "Button", "OK"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));

    LeaveWithExit(run, dialog);
    EXPECT_TRUE(log.Messages(kDrvClose).empty()) << log.Text();
    EXPECT_TRUE(log.Messages(kIcmConfigure).empty()) << log.Text();
    EXPECT_TRUE(log.Messages(kIcmAbout).empty()) << log.Text();
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CompressorMissing, testing::ValuesIn(kMissing),
                         [](const testing::TestParamInfo<Missing>& info) { return std::string(info.param.name); });

} // namespace
