// What the "Codec not detected" box says for each state of the installation
// that the end-to-end scenarios cannot make here: facts in, the message (its
// string resource and the texts put into it) out.
#include "debuggee.h"
#include "decision.h"
#include "diagnosistexts.h"
#include "messagetext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const WORD kI386 = IMAGE_FILE_MACHINE_I386;
const WORD kAmd64 = IMAGE_FILE_MACHINE_AMD64;
const WORD kArm64 = 0xAA64;
const WCHAR kCodec[] = L"C:\\WINDOWS\\system32\\qv4z.dll";

void SetPath(WCHAR* path, const WCHAR* text)
{
    wcscpy(path, text);
}

// A codec registered as qv4z.dll and found, complete, in the system folder
// of a program of the given kind on 64-bit Windows; each row changes it.
CodecFacts Found(bool program64Bit, WORD machine = 0)
{
    CodecFacts facts = {};
    facts.managerLoaded = true;
    facts.program64Bit = program64Bit;
    facts.windows64Bit = true;
    facts.registeredAs = facts.fileName = L"qv4z.dll";
    facts.systemFolder = program64Bit ? L"C:\\WINDOWS\\system32" : L"C:\\WINDOWS\\SysWOW64";
    facts.windowsFolder = L"C:\\WINDOWS";
    SetPath(facts.found.path, kCodec);
    facts.found.facts = {FILEKIND_DLL, 0, machine != 0 ? machine : program64Bit ? kAmd64 : kI386, true};
    return facts;
}

template <class Change> CodecFacts With(CodecFacts facts, Change change)
{
    change(facts);
    return facts;
}

struct Case {
    const char* name;
    CodecFacts facts;
    UINT id; // 0: the usual sentence alone
    std::vector<std::wstring> inserts;
};

void PrintTo(const Case& row, std::ostream* out)
{
    *out << row.name;
}

const Case kCases[] = {
    // Without the compressor manager nothing was looked for.
    {"NoCompressorManager", With(Found(true), [](CodecFacts& f) { f.managerLoaded = false; }), 0, {}},
    {"RegisteredOnlyForTheOtherKindWithoutACodecThere",
     With(Found(false), [](CodecFacts& f) { f.registeredAs = nullptr; }),
     0,
     {}},
    {"RegisteredOnlyForThe64BitKind",
     With(Found(false), [](CodecFacts& f) { f.registeredAs = nullptr, f.otherUsable = true; }),
     IDS_CODEC_64BIT_ONLY,
     {}},
    {"TooLongAndNothingInSystemIni",
     With(Found(true), [](CodecFacts& f) { f.registeredAs = nullptr, f.tooLong = L"300"; }),
     IDS_CODEC_TOO_LONG,
     {L"300"}},
    {"NotText", With(Found(true), [](CodecFacts& f) { f.notText = true, f.found = {}; }), IDS_CODEC_NOT_TEXT, {}},
    {"UnexpandedName",
     With(Found(true),
          [](CodecFacts& f) {
              f.fileName = L"%SystemRoot%\\qv4z.dll", f.expanded = L"C:\\WINDOWS\\qv4z.dll", f.found = {};
          }),
     IDS_CODEC_UNEXPANDED,
     {L"%SystemRoot%\\qv4z.dll", L"C:\\WINDOWS\\qv4z.dll"}},
    {"Unreadable",
     With(Found(true),
          [](CodecFacts& f) {
              f.found.facts = {FILEKIND_UNREADABLE, ERROR_ACCESS_DENIED, 0, false}, f.unreadable = L"No.";
          }),
     IDS_CODEC_FILE_UNREADABLE,
     {kCodec, L"No."}},
    {"NoPeFile",
     With(Found(true), [](CodecFacts& f) { f.found.facts.kind = FILEKIND_NOT_PE; }),
     IDS_CODEC_FILE_NOT_DLL,
     {kCodec}},
    {"Old16BitDriver",
     With(Found(true), [](CodecFacts& f) { f.found.facts.kind = FILEKIND_16BIT; }),
     IDS_CODEC_FILE_16BIT,
     {kCodec}},
    // A .NET assembly marked for either processor is no codec, whatever its machine.
    {"NetAssembly",
     With(Found(true),
          [](CodecFacts& f) {
              f.found.facts = {FILEKIND_ASSEMBLY, 0, kI386, false};
          }),
     IDS_CODEC_FILE_ASSEMBLY,
     {kCodec}},
    {"64BitDllFor32BitProgramWithThe64BitKindInstalled",
     With(Found(false, kAmd64), [](CodecFacts& f) { f.otherUsable = true; }),
     IDS_CODEC_64BIT_DLL,
     {kCodec}},
    {"64BitDllFor32BitProgramAlone", Found(false, kAmd64), IDS_CODEC_64BIT_DLL_WRONG_KIND, {kCodec}},
    {"Arm64Dll", Found(true, kArm64), IDS_CODEC_OTHER_PROCESSOR, {kCodec}},
    {"DllForAnotherProcessorThatADllNeeds",
     With(Found(true),
          [](CodecFacts& f) {
              SetPath(f.missingDll.name, L"helper.dll");
              SetPath(f.missingDll.neededBy, kCodec);
              SetPath(f.missingDll.found.path, L"C:\\WINDOWS\\system32\\helper.dll");
              f.missingDll.found.facts = {FILEKIND_DLL, 0, kArm64, true};
          }),
     IDS_CODEC_DLL_UNUSABLE,
     {kCodec, L"helper.dll", kCodec, L"C:\\WINDOWS\\system32\\helper.dll"}},
    // A misplaced DLL of this kind is named where it is and where it belongs;
    // one of the other kind is a DLL of the other processor.
    {"32BitDllInSystem32",
     With(Found(false),
          [](CodecFacts& f) {
              f.misplaced = f.found, f.found = {};
              SetPath(f.misplaced.path, L"C:\\WINDOWS\\system32\\qv4z.dll");
          }),
     IDS_CODEC_32BIT_IN_SYSTEM32,
     {L"C:\\WINDOWS\\system32\\qv4z.dll", L"C:\\WINDOWS\\SysWOW64"}},
    {"Only64BitDllInSystem32",
     With(Found(false, kAmd64), [](CodecFacts& f) { f.misplaced = f.found, f.found = {}; }),
     IDS_CODEC_64BIT_DLL_WRONG_KIND,
     {kCodec}},
    // Forms of a registration that a complete codec's opening may stumble on.
    {"LeadingBlank",
     With(Found(true), [](CodecFacts& f) { f.leadingBlank = true, f.registeredAs = L" qv4z.dll"; }),
     IDS_CODEC_LEADING_BLANK,
     {kCodec, L" qv4z.dll"}},
    {"RefusedWithASpaceInside",
     With(Found(true), [](CodecFacts& f) { f.spaceInside = true, f.registeredAs = L"C:\\A B\\qv4z.dll"; }),
     IDS_CODEC_REFUSED_SPACE,
     {kCodec, L"C:\\A B\\qv4z.dll"}},
};

class CodecMissingDecision : public testing::TestWithParam<Case> {};

TEST_P(CodecMissingDecision, SaysWhatTheFactsShow)
{
    const Case& row = GetParam();
    const Diagnosis diagnosis = Diagnose(row.facts);
    EXPECT_EQ(row.id, diagnosis.message);
    EXPECT_EQ(row.id == 0 || row.id == IDS_CODEC_64BIT_ONLY || row.id == IDS_CODEC_32BIT_ONLY, diagnosis.alone);
    std::vector<std::wstring> inserts;
    for (const WCHAR* insert : diagnosis.inserts) {
        if (insert != nullptr)
            inserts.push_back(insert);
    }
    EXPECT_EQ(row.inserts, inserts);
}

INSTANTIATE_TEST_SUITE_P(Facts, CodecMissingDecision, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

HMODULE Program()
{
    static HMODULE program =
        LoadLibraryExA((ThisProgramFolder() + "..\\bin\\Ferrotune.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return program;
}

// A path of any length is shown with its start and its file name, cut
// visibly in between, after the usual sentence.
TEST(CodecMissingText, CutsALongPathVisibly)
{
    ASSERT_NE(nullptr, Program());
    const std::wstring path = L"C:\\" + std::wstring(240, L'd') + L"\\qv4z.dll";
    const CodecFacts facts = With(Found(true), [&](CodecFacts& f) {
        f.registeredAs = f.fileName = path.c_str();
        f.found = {};
    });
    MessageText message;
    message.AppendDiagnosis(Program(), Diagnose(facts));
    const std::wstring text = message.Text();
    EXPECT_EQ(0u, text.find(L"Codec not detected. ")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"\n\nThe codec is registered as \"C:\\ddd")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"d...d")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"ddd\\qv4z.dll\", but there is no such file.")) << text;
    EXPECT_LT(text.size(), 600u) << text;
}

} // namespace
