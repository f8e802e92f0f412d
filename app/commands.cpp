// commands - the report of /check, the codec's dialogs without the program's,
// the usage, and the box of a codec that does not open.
#include "commands.h"

#include "compressor.h"
#include "framework.h"
#include "messagetext.h"
#include "reportwriter.h"
#include "resource.h"
#include "verdict.h"

#include <wchar.h>

namespace {

// The box's text for the facts, and their verdict.
Verdict DiagnoseMissing(const CodecFacts& facts, MessageText* text)
{
    const Diagnosis diagnosis = Diagnose(facts);
    text->AppendDiagnosis(FwResourceHandle(), diagnosis);
    return VerdictOf(facts, diagnosis);
}

void PrepareCrashReportWithoutOwner(CrashSink sink = nullptr)
{
    PrepareCrashReport(FwResourceHandle(), FwGetApp()->m_pszAppNameW, nullptr, sink);
}

// ---------------------------------------------------------------------------
// The report
// ---------------------------------------------------------------------------
// text with each line break as end, or a blank when end is null.
void AppendLines(MessageText* report, const WCHAR* text, const WCHAR* end)
{
    WCHAR part[256];
    size_t length = 0;
    for (const WCHAR* at = text;; ++at) {
        const bool lineBreak = *at == L'\n' || *at == L'\r';
        if (length + 1 == ARRAYSIZE(part) || lineBreak || *at == L'\0') {
            part[length] = L'\0';
            report->Append(part);
            length = 0;
        }
        if (*at == L'\0')
            return;
        if (lineBreak) {
            if (end != nullptr && *at == L'\r' && at[1] == L'\n')
                ++at;
            report->Append(end != nullptr ? end : L" ");
        } else {
            part[length++] = *at;
        }
    }
}

// One "name: value" line; a line break in the value becomes a blank, so that
// each field is one line.
void Field(MessageText* report, const WCHAR* name, const WCHAR* value)
{
    report->Append(name);
    report->Append(L": ");
    AppendLines(report, value, nullptr);
    report->Append(L"\r\n");
}

const WCHAR* ProgramKind(bool windows64Bit)
{
    if (kProgram64Bit)
        return L"64-bit";
    return windows64Bit ? L"32-bit, WoW64" : L"32-bit";
}

const WCHAR* Dialogs(bool configure, bool about)
{
    if (configure && about)
        return L"configure, about";
    if (configure)
        return L"configure";
    return about ? L"about" : L"none";
}

// The other kind of program's registration and verdict, where Windows has it.
void OtherKindFields(MessageText* report, const CodecInstallation& installation)
{
    if (!installation.Facts().windows64Bit)
        return;
    const OtherKindFacts& other = installation.OtherKind();
    Field(report, L"other-registration", other.registered ? other.registration.value : L"");
    Field(report, L"other-verdict", OtherKindVerdict(other).word);
}

// The box's own text, the last field: its line breaks are kept.
void MessageField(MessageText* report, const WCHAR* text)
{
    report->Append(L"message: ");
    AppendLines(report, text, L"\r\n");
    report->Append(L"\r\n");
}

// What a crash gives: the step, the exception's code, the module it was
// raised in and the offset in it, and the exit code of a crash.
void CrashFields(MessageText* report, const WCHAR* step, const WCHAR* code, const WCHAR* module, const WCHAR* offset)
{
    WCHAR exitCode[12];
    _itow(kCodecCrashExitCode, exitCode, 10);
    Field(report, L"step", step);
    Field(report, L"exception", code);
    Field(report, L"module", module);
    Field(report, L"offset", offset);
    Field(report, L"exit-code", exitCode);
}

// What a report of a crash in a call into the codec needs, made before the
// codec is called: it is written in the damaged process.
struct CheckCrash {
    ReportWriter* writer;
    const WCHAR* program;
    Registration registration; // as the compressor manager reads it
};
CheckCrash s_checkCrash;

// The words of the steps (CodecStep) in the report.
const WCHAR* const kStepWords[] = {L"opening", L"answering", L"configuring", L"showing-about", L"closing"};

// The crash report's sink: the report written, from fixed buffers, in place
// of the box.
void WriteCrashReport(const CrashDescription& crash)
{
    static MessageText report;
    Field(&report, L"verdict", kVerdictCrashed.word);
    Field(&report, L"program", s_checkCrash.program);
    Field(&report, L"registration", s_checkCrash.registration.value);
    Field(&report, L"file", crash.codecFile);
    CrashFields(&report, kStepWords[crash.step], crash.code, crash.module, crash.offset);
    MessageField(&report, crash.text);
    s_checkCrash.writer->Write(report.Text());
}

// The fields that the installation shows, opened or not.
void InstallationFields(MessageText* report, const CodecInstallation& installation)
{
    const CodecFacts& facts = installation.Facts();
    Field(report, L"program", ProgramKind(facts.windows64Bit));
    Field(report, L"registration", facts.registeredAs != nullptr ? facts.registeredAs : L"");
    const WCHAR* file = facts.found.path[0] != L'\0' ? facts.found.path : facts.fileName;
    Field(report, L"file", file != nullptr ? file : L"");
    OtherKindFields(report, installation);
}

// Opens the codec as a start does and asks which dialogs it offers; false
// when it does not open.
bool OpenAndAsk(bool* configure, bool* about)
{
    HIC hic = VfwOpen(kCompressorType, kCompressorHandler, ICMODE_QUERY);
    if (hic == nullptr)
        return false;
    *configure = CompressorOffers(hic, ICM_CONFIGURE);
    *about = CompressorOffers(hic, ICM_ABOUT);
    VfwClose(hic);
    return true;
}

} // namespace

bool CompressorOffers(HIC hic, UINT message)
{
    const DWORD_PTR queryFlag = message == ICM_ABOUT ? ICMF_ABOUT_QUERY : ICMF_CONFIGURE_QUERY;
    return VfwSendMessage(hic, message, static_cast<DWORD_PTR>(-1), queryFlag, CODEC_ANSWERING) == ICERR_OK;
}

int ShowCodecMissing(HWND owner)
{
    CodecInstallation installation(VfwLoaded(), VfwStartupCrash());
    MessageText text;
    const Verdict verdict = DiagnoseMissing(installation.Facts(), &text);
    FwMessageBox(owner, text.Text());
    return verdict.exitCode;
}

int RunCheck(const WCHAR* out)
{
    // Kept for the process's life: a crash report may write through it.
    static ReportWriter writer(out);
    static MessageText report; // a few kilobytes: not on the stack
    if (out[0] == L'\0' || writer.Ready()) {
        s_checkCrash.writer = &writer;
        s_checkCrash.program = ProgramKind(SystemFolders().Windows64Bit());
        if (!ReadManagerRegistration(&s_checkCrash.registration))
            s_checkCrash.registration.value[0] = L'\0';
        PrepareCrashReportWithoutOwner(WriteCrashReport);
        bool configure = false;
        bool about = false;
        const bool opened = OpenAndAsk(&configure, &about);
        CodecInstallation installation(VfwLoaded(), VfwStartupCrash(), opened);
        const CodecFacts& facts = installation.Facts();
        MessageText box;
        const Verdict verdict = opened ? kVerdictUsable : DiagnoseMissing(facts, &box);
        Field(&report, L"verdict", verdict.word);
        InstallationFields(&report, installation);
        if (opened)
            Field(&report, L"dialogs", Dialogs(configure, about));
        const StartupCrash* startup = facts.startupCrash;
        if (!opened && verdict.exitCode == kVerdictCrashed.exitCode && startup != nullptr)
            CrashFields(&report, L"starting", startup->code, startup->module, startup->offset);
        if (!opened)
            MessageField(&report, box.Text());
        if (writer.Write(report.Text()) || (out[0] == L'\0' && !writer.Ready()))
            return verdict.exitCode;
    }
    MessageText error;
    const WCHAR* inserts[4] = {out};
    error.AppendString(FwResourceHandle(), out[0] != L'\0' ? IDS_REPORT_FILE_NOT_WRITTEN : IDS_REPORT_NOT_WRITTEN,
                       inserts);
    error.AppendSystemMessage(writer.Error());
    error.Append(L"\r\n");
    writer.WriteError(error.Text());
    return kExitReportNotWritten;
}

int RunCodecDialog(bool about)
{
    PrepareCrashReportWithoutOwner();
    HIC hic = VfwOpen(kCompressorType, kCompressorHandler, ICMODE_QUERY);
    if (hic == nullptr)
        return ShowCodecMissing(nullptr);
    int exitCode = 0;
    if (!CompressorOffers(hic, about ? ICM_ABOUT : ICM_CONFIGURE)) {
        MessageText text;
        text.AppendString(FwResourceHandle(), about ? IDS_CODEC_NO_ABOUT_BOX : IDS_CODEC_NO_SETTINGS);
        FwMessageBox(nullptr, text.Text());
        exitCode = kExitNoSuchDialog;
    } else if (about) {
        VfwSendMessage(hic, ICM_ABOUT, 0, 0, CODEC_SHOWING_ABOUT);
    } else {
        VfwSendMessage(hic, DRV_CONFIGURE, 0, 0, CODEC_CONFIGURING);
    }
    VfwClose(hic);
    return exitCode;
}

int ShowUsage(bool badCommandLine)
{
    MessageText usage;
    usage.AppendString(FwResourceHandle(), IDS_USAGE);
    ReportWriter writer(L"");
    if (!writer.Ready() || !writer.Write(usage.Text()))
        FwMessageBox(nullptr, usage.Text(), badCommandLine ? MB_ICONWARNING : MB_ICONINFORMATION);
    return badCommandLine ? kExitBadCommandLine : 0;
}
