// The "Codec Configuration" dialog and the compressor: which buttons the
// compressor's answers enable, what each button sends it, and what the user
// sees when no compressor opens: nothing installed, or why the installed one
// cannot be used.
#include "diagnosistexts.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const int kConfigureButton = 1000;
const int kAboutCodecButton = 1001;
const int kExitButton = 1;

const char kStandinDll[] = "standin_qv4z.dll";

// Where a row applies: the kind of program and of Windows it is about.
enum Where { kEverywhere, k64BitProgram, k32BitWindows, kWow64, k64BitWindows };

bool Applies(Where where)
{
    const bool program64Bit = sizeof(void*) == 8;
    switch (where) {
    case k64BitProgram:
        return program64Bit;
    case k32BitWindows:
        return !Has64BitWindows();
    case kWow64:
        return !program64Bit && Has64BitWindows();
    case k64BitWindows:
        return Has64BitWindows();
    default:
        return true;
    }
}

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
    Installation installation;
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
    {"BothOfferedAlsoRegisteredFor32Bit", "", "", true, true, {nullptr, kStandinDll}},
#endif
};

class CompressorAnswers : public Scenario, public testing::WithParamInterface<Answers> {};

TEST_P(CompressorAnswers, EnableExactlyTheMatchingButtons)
{
    const Answers& row = GetParam();
    InstalledAs installed(row.installation);
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

    // /check finds the codec usable and reports the dialogs it offers.
    CheckReport report;
    EXPECT_TRUE(ChecksAs(setup, "usable", "", &report));
    const char* offered = row.configureEnabled ? (row.aboutCodecEnabled ? "configure, about" : "configure")
                                               : (row.aboutCodecEnabled ? "about" : "none");
    EXPECT_EQ(offered, report.Value("dialogs"));
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
    Where where;
    bool refuses; // the stand-in is registered but refuses to open
    Installation installation;
    const char* workingFolder;
    // What the message box says: the usual sentence alone (0), or a message
    // of the program's strings and its inserts, with folders as Expand names them.
    UINT message;
    std::vector<const char*> inserts;
    const char* verdict; // the word /check gives
};

void PrintTo(const Missing& row, std::ostream* out)
{
    *out << row.name;
}

// Nothing registered gives the usual sentence alone. Where something is
// registered, a paragraph after it says why it cannot be used.
const Missing kMissing[] = {
    {"RegisteredNowhere", kEverywhere, false, {""}, nullptr, 0, {}, "not-registered"},
    {"RefusesToOpen",
     kEverywhere,
     true,
     kAsInstalled,
     nullptr,
     IDS_CODEC_REFUSED,
     {"{system}\\standin_qv4z.dll"},
     "refused"},
    // The current folder comes after the system folder for the loader.
    {"RefusesToOpenStartedBesideAnotherCodec",
     kEverywhere,
     true,
     {nullptr,
      nullptr,
      nullptr,
      {{nullptr, "{tests}beside"}, {"nodriverproc_qv4z.dll", "{tests}beside\\standin_qv4z.dll"}}},
     "{tests}beside",
     IDS_CODEC_REFUSED,
     {"{system}\\standin_qv4z.dll"},
     "refused"},
    {"FileMissing",
     kEverywhere,
     false,
     {"qv4z_missing.dll"},
     nullptr,
     IDS_CODEC_NO_FILE_NAMED,
     {"qv4z_missing.dll", "{system}", "{windows}"},
     "file-missing"},
    {"FileMissingWithBlanksAfterIt",
     kEverywhere,
     false,
     {"qv4z_missing.dll   "},
     nullptr,
     IDS_CODEC_NO_FILE_NAMED,
     {"qv4z_missing.dll", "{system}", "{windows}"},
     "file-missing"},
    {"FileMissingInSystemIni",
     kEverywhere,
     false,
     {"", nullptr, "qv4z_ini.dll"},
     nullptr,
     IDS_CODEC_NO_FILE_NAMED,
     {"qv4z_ini.dll", "{system}", "{windows}"},
     "file-missing"},
    {"FileNameEndsAtASpace",
     kEverywhere,
     false,
     {"{system32}\\qv4z gone.dll"},
     nullptr,
     IDS_CODEC_NO_FILE_BEFORE_SPACE,
     {"{system32}\\qv4z gone.dll", "{system}\\qv4z.dll"},
     "file-missing"},
    {"EmptyValue", kEverywhere, false, {"{empty}"}, nullptr, IDS_CODEC_EMPTY, {}, "registration-unusable"},
    {"QuotedPath",
     kEverywhere,
     false,
     {"\"{system32}\\standin_qv4z.dll\""},
     nullptr,
     IDS_CODEC_QUOTED,
     {"\"{system32}\\standin_qv4z.dll\""},
     "registration-unusable"},
    {"FolderWithTheCodecsName",
     kEverywhere,
     false,
     {"{tests}qv4z_folder.dll", nullptr, nullptr, {{nullptr, "{tests}qv4z_folder.dll"}}},
     nullptr,
     IDS_CODEC_FILE_IS_FOLDER,
     {"{tests}qv4z_folder.dll"},
     "not-a-codec"},
    {"NoDriverProc",
     kEverywhere,
     false,
     {"{tests}nodriverproc_qv4z.dll"},
     nullptr,
     IDS_CODEC_NO_DRIVERPROC,
     {"{tests}nodriverproc_qv4z.dll"},
     "not-a-codec"},
    {"NeedsADllThatIsNotInstalled",
     kEverywhere,
     false,
     {"{tests}needsmissing_qv4z.dll"},
     nullptr,
     IDS_CODEC_DLL_MISSING,
     {"{tests}needsmissing_qv4z.dll", "qv4zhelper.dll"},
     "dependency-missing"},
    // An API-set name that the schema does not hold is a file like any other.
    {"NeedsAnApiSetNameThatNoSchemaHolds",
     kEverywhere,
     false,
     {"{tests}needsapiset_qv4z.dll"},
     nullptr,
     IDS_CODEC_DLL_MISSING,
     {"{tests}needsapiset_qv4z.dll", "api-ms-win-core-qv4z-l1-1-0.dll"},
     "dependency-missing"},
    // The helper that the current folder holds is older than the codec's.
    {"HelperFoundLacksAFunction",
     kEverywhere,
     false,
     {"{tests}lacking_qv4z.dll"},
     "{tests}broken",
     IDS_CODEC_FUNCTION_OTHER_VERSION,
     {"{tests}lacking_qv4z.dll", "Qv4zHelperNewer", "qv4zhelper.dll", "{tests}lacking_qv4z.dll",
      "{tests}broken\\qv4zhelper.dll"},
     "function-missing"},
    // The helper is a private side-by-side assembly beside the codec.
    {"NeedsAPrivateAssemblyInstalledBesideIt",
     kEverywhere,
     false,
     {"{tests}sxsprivate_qv4z.dll"},
     nullptr,
     IDS_CODEC_REFUSED,
     {"{tests}sxsprivate_qv4z.dll"},
     "refused"},
    {"NeedsAPrivateAssemblyThatIsNotInstalled",
     kEverywhere,
     false,
     {"{tests}sxsabsent_qv4z.dll"},
     nullptr,
     IDS_CODEC_ASSEMBLY_MISSING,
     {"{tests}sxsabsent_qv4z.dll", "Ferrotune.Test.Absent 1.0.0.0, {cpu}", "{tests}sxsabsent_qv4z.dll"},
     "assembly-missing"},
    {"NeedsTheVisualCpp2013Runtime",
     kEverywhere,
     false,
     {"{tests}needsruntime_qv4z.dll", nullptr, nullptr, {}, "msvcr120"},
     nullptr,
     IDS_CODEC_RUNTIME_MISSING,
     {"{tests}needsruntime_qv4z.dll", "MSVCR120.dll", "", "#154", "{cpu}"},
     "dependency-missing"},
    // A 32-bit program on 64-bit Windows that names System32 reaches SysWOW64: the box names that.
    {"RefusesToOpenRegisteredInSystem32",
     kWow64,
     true,
     {"{system32}\\standin_qv4z.dll"},
     nullptr,
     IDS_CODEC_REFUSED,
     {"{system}\\standin_qv4z.dll"},
     "refused"},
    // Sysnative is there for 32-bit programs only.
    {"RegisteredInSysnative",
     k64BitProgram,
     false,
     {"{windows}\\Sysnative\\standin_qv4z.dll"},
     nullptr,
     IDS_CODEC_NO_FILE_AT_PATH,
     {"{windows}\\Sysnative\\standin_qv4z.dll"},
     "file-missing"},
    // The other kind of program is named only when its registry view has a codec it can use.
    {"RegisteredForTheOtherKindOnly",
     k64BitWindows,
     false,
     {"", "{tests}otherbits_qv4z.dll"},
     nullptr,
     sizeof(void*) == 8 ? IDS_CODEC_32BIT_ONLY : IDS_CODEC_64BIT_ONLY,
     {},
     "other-kind-only"},
    {"RegisteredForTheOtherKindOnlyWithADllOfThisKind",
     k64BitWindows,
     false,
     {"", "{tests}nodriverproc_qv4z.dll"},
     nullptr,
     0,
     {},
     "not-registered"},
    {"DllOfTheOtherKindAlsoRegisteredForIt",
     k64BitWindows,
     false,
     {"{tests}otherbits_qv4z.dll", "{tests}otherbits_qv4z.dll"},
     nullptr,
     sizeof(void*) == 8 ? IDS_CODEC_32BIT_DLL : IDS_CODEC_64BIT_DLL,
     {"{tests}otherbits_qv4z.dll"},
     "other-processor"},
    {"DllOfTheOtherKindOnly",
     k64BitWindows,
     false,
     {"{tests}otherbits_qv4z.dll", ""},
     nullptr,
     sizeof(void*) == 8 ? IDS_CODEC_32BIT_DLL_WRONG_KIND : IDS_CODEC_64BIT_DLL_WRONG_KIND,
     {"{tests}otherbits_qv4z.dll"},
     "other-processor"},
    {"DllInTheOtherKindsSystemFolder",
     k64BitWindows,
     false,
     {"qv4z_misplaced.dll", nullptr, nullptr, {{kStandinDll, "{other}\\qv4z_misplaced.dll"}}},
     nullptr,
     sizeof(void*) == 8 ? IDS_CODEC_64BIT_IN_SYSWOW64 : IDS_CODEC_32BIT_IN_SYSTEM32,
     {"{other}\\qv4z_misplaced.dll", "{system}"},
     "file-misplaced"},
    // The program's own registration decides, whatever the other view holds.
    {"FileMissingBesideARegistrationForTheOtherKind",
     k64BitWindows,
     false,
     {"{system32}\\qv4z_gone.dll", "{tests}otherbits_qv4z.dll"},
     nullptr,
     IDS_CODEC_NO_FILE_AT_PATH,
     {"{system}\\qv4z_gone.dll"},
     "file-missing"},
    {"DllFor64BitProgramsOn32BitWindows",
     k32BitWindows,
     false,
     {"{tests}otherbits_qv4z.dll"},
     nullptr,
     IDS_CODEC_64BIT_DLL_ON_32BIT_WINDOWS,
     {"{tests}otherbits_qv4z.dll"},
     "other-processor"},
};

std::vector<Missing> ApplicableRows()
{
    std::vector<Missing> rows;
    for (const Missing& row : kMissing) {
        if (Applies(row.where))
            rows.push_back(row);
    }
    return rows;
}

class CompressorMissing : public Scenario, public testing::WithParamInterface<Missing> {};

// No compressor: the message box comes first, owned by the still hidden dialog;
// afterwards the dialog shows with both compressor buttons disabled, the About
// box and Exit work, and no compressor is closed at the end.
TEST_P(CompressorMissing, MessageBoxBeforeTheDialogThenBothButtonsDisabled)
{
    const Missing& row = GetParam();
    InstalledAs installed(row.installation);
    CompressorLog log;
    CompressorSetup setup;
    setup.missing = row.refuses;
    if (row.workingFolder != nullptr)
        setup.workingFolder = Expand(row.workingFolder);
    FerrotuneRun run(log, setup);
    ASSERT_TRUE(run.Started()) << FerrotunePath();

    HWND box = run.WaitForVisibleWindow("Ferrotune");
    ASSERT_NE(nullptr, box) << "no message box captioned \"Ferrotune\"\n" << log.Text();
    std::vector<HWND> dialogs = TopLevelWindows(run.ProcessId(), kDialogCaption);
    ASSERT_EQ(1u, dialogs.size());
    HWND dialog = dialogs[0];
    EXPECT_FALSE(IsWindowVisible(dialog)) << "the dialog showed before the message box";
    EXPECT_EQ(dialog, GetWindow(box, GW_OWNER));
    const std::string text =
        row.message == 0 || row.message == IDS_CODEC_32BIT_ONLY || row.message == IDS_CODEC_64BIT_ONLY
            ? ProgramText(row.message != 0 ? row.message : IDS_CODEC_NOT_DETECTED, row.inserts)
            : ProgramText(IDS_CODEC_NOT_DETECTED) + "\n\n" + ProgramText(row.message, row.inserts);
    EXPECT_EQ(std::vector<std::string>{text}, StaticTexts(box));
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

    // /check comes to the same verdict and ends its report with the box's text.
    EXPECT_TRUE(ChecksAs(setup, row.verdict, text));
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CompressorMissing, testing::ValuesIn(ApplicableRows()),
                         [](const testing::TestParamInfo<Missing>& info) { return std::string(info.param.name); });

} // namespace
