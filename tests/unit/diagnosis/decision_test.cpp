// What the "Codec not detected" box says for each state of the installation
// that the end-to-end scenarios cannot make here: facts in, the message (its
// string resource and the texts put into it) out. And the rules that the
// facts are read by, which a real Windows other than Wine shows: the PE
// reader's, on bytes made here, and the API-set schema's.
#include "debuggee.h"
#include "decision.h"
#include "diagnosistexts.h"
#include "messagetext.h"

#include <gtest/gtest.h>

#include <string.h>

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
    facts.found.facts = {FILEKIND_DLL, 0, machine != 0 ? machine : program64Bit ? kAmd64 : kI386, true, false};
    return facts;
}

// The codec needs function of dll, which the file found for dll at path lacks.
void Lacks(CodecFacts& facts, const WCHAR* dll, const WCHAR* function, const WCHAR* path)
{
    facts.missingDll.kind = MISSING_FUNCTION;
    SetPath(facts.missingDll.name, dll);
    SetPath(facts.missingDll.function, function);
    SetPath(facts.missingDll.neededBy, kCodec);
    SetPath(facts.missingDll.found.path, path);
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
              f.found.facts = {FILEKIND_UNREADABLE, ERROR_ACCESS_DENIED, 0, false, false}, f.unreadable = L"No.";
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
              f.found.facts = {FILEKIND_ASSEMBLY, 0, kI386, false, false};
          }),
     IDS_CODEC_FILE_ASSEMBLY,
     {kCodec}},
    {"64BitDllFor32BitProgramWithThe64BitKindInstalled",
     With(Found(false, kAmd64), [](CodecFacts& f) { f.otherUsable = true; }),
     IDS_CODEC_64BIT_DLL,
     {kCodec}},
    {"64BitDllFor32BitProgramAlone", Found(false, kAmd64), IDS_CODEC_64BIT_DLL_WRONG_KIND, {kCodec}},
    // On Windows on ARM the x64 program loads ARM64X DLLs (Windows' own in
    // System32 are such), not plain ARM64 ones.
    {"PlainArm64DllOnArm64Windows",
     With(Found(true, kArm64), [](CodecFacts& f) { f.nativeMachine = kArm64; }),
     IDS_CODEC_OTHER_PROCESSOR,
     {kCodec}},
    {"Arm64xDllOnArm64Windows",
     With(Found(true, kArm64), [](CodecFacts& f) { f.nativeMachine = kArm64, f.found.facts.hybrid = true; }),
     IDS_CODEC_REFUSED,
     {kCodec}},
    {"TooLongWhereSystemIniIsTheRegistry",
     With(Found(true), [](CodecFacts& f) { f.registeredAs = nullptr, f.tooLong = L"300", f.sectionMapped = true; }),
     IDS_CODEC_TOO_LONG_CUT,
     {L"300"}},
    {"DllForAnotherProcessorThatADllNeeds",
     With(Found(true),
          [](CodecFacts& f) {
              SetPath(f.missingDll.name, L"helper.dll");
              SetPath(f.missingDll.neededBy, kCodec);
              SetPath(f.missingDll.found.path, L"C:\\WINDOWS\\system32\\helper.dll");
              f.missingDll.found.facts = {FILEKIND_DLL, 0, kArm64, true, false};
          }),
     IDS_CODEC_DLL_UNUSABLE,
     {kCodec, L"helper.dll", kCodec, L"C:\\WINDOWS\\system32\\helper.dll"}},
    // A function that a DLL lacks: in Windows' own DLL it takes a newer
    // Windows; a runtime, even in the system folder, or a copy ahead of the
    // system's is another version.
    {"FunctionThatWindowsLacks",
     With(Found(true),
          [](CodecFacts& f) { Lacks(f, L"kernel32.dll", L"GetTickCount64", L"C:\\WINDOWS\\system32\\kernel32.dll"); }),
     IDS_CODEC_FUNCTION_NEWER_WINDOWS,
     {kCodec, L"GetTickCount64", L"kernel32.dll", kCodec}},
    {"FunctionThatARuntimeInTheSystemFolderLacks",
     With(Found(true),
          [](CodecFacts& f) { Lacks(f, L"MSVCR120.dll", L"#42", L"C:\\WINDOWS\\system32\\msvcr120.dll"); }),
     IDS_CODEC_FUNCTION_OTHER_VERSION,
     {kCodec, L"#42", L"MSVCR120.dll", kCodec, L"C:\\WINDOWS\\system32\\msvcr120.dll"}},
    {"FunctionThatACopyAheadOfTheSystemsLacks",
     With(Found(true),
          [](CodecFacts& f) {
              Lacks(f, L"d3d9.dll", L"Direct3DCreate9Ex", L"C:\\Ferrotune\\d3d9.dll"), f.missingDll.shadows = true;
          }),
     IDS_CODEC_FUNCTION_SHADOWING,
     {kCodec, L"Direct3DCreate9Ex", L"d3d9.dll", kCodec, L"C:\\Ferrotune\\d3d9.dll"}},
    // A runtime of the table is named with its package, for this program's
    // processor: on Windows 7 the Universal C Runtime's names are files.
    {"UniversalCRuntimeMissingFor32BitPrograms",
     With(Found(false),
          [](CodecFacts& f) {
              SetPath(f.missingDll.name, L"api-ms-win-crt-runtime-l1-1-0.dll");
              SetPath(f.missingDll.neededBy, kCodec);
          }),
     IDS_CODEC_RUNTIME_MISSING,
     {kCodec, L"api-ms-win-crt-runtime-l1-1-0.dll", L"#156", L"x86"}},
    {"VisualCpp2008AssemblyMissing",
     With(Found(true),
          [](CodecFacts& f) {
              f.missingDll.kind = MISSING_ASSEMBLY;
              SetPath(f.missingDll.name, L"Microsoft.VC90.CRT 9.0.21022.8, x64");
              SetPath(f.missingDll.neededBy, kCodec);
          }),
     IDS_CODEC_ASSEMBLY_RUNTIME_MISSING,
     {kCodec, L"Microsoft.VC90.CRT 9.0.21022.8, x64", L"#151", L"x64"}},
    // What the search could not check keeps "complete" out of the box, even
    // where the registration's form would be worth a word.
    {"UncheckedWithABlankInFront",
     With(Found(true),
          [](CodecFacts& f) {
              f.leadingBlank = true, f.registeredAs = L" qv4z.dll", f.missingDll.unchecked = UNCHECKED_DEEPER;
              SetPath(f.missingDll.uncheckedName, L"deep.dll");
          }),
     IDS_CODEC_UNCHECKED,
     {kCodec, L"#144", L"deep.dll"}},
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
        if (IS_INTRESOURCE(insert) && insert != nullptr)
            inserts.push_back(L"#" + std::to_wstring(LOWORD(insert)));
        else if (insert != nullptr)
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

// Whether an API-set name is Windows' own or a file, by the answer of the
// system's query, else by the schema of the Windows version.
TEST(ApiSetNames, AreJudgedAsEachWindowsLoaderJudgesThem)
{
    const struct {
        const WCHAR* name;
        WORD version;
        int presence;
        ApiSetAnswer answer;
    } rows[] = {
        // Windows 7 resolves the names of its own schema and no "ext-" name; Vista none.
        {L"API-MS-Win-Core-Synch-L1-1-0.dll", 0x0601, -1, APISET_WINDOWS},
        {L"api-ms-win-crt-runtime-l1-1-0.dll", 0x0601, -1, APISET_FILE},
        {L"api-ms-win-core-synch-l1-2-0.dll", 0x0601, -1, APISET_FILE},
        {L"ext-ms-win-gdi-draw-l1-1-1.dll", 0x0601, -1, APISET_FILE},
        {L"api-ms-win-core-synch-l1-1-0.dll", 0x0600, -1, APISET_FILE},
        // Where Windows answers, its answer counts; without one nothing is claimed.
        {L"api-ms-win-crt-runtime-l1-1-0.dll", 0x0A00, 1, APISET_WINDOWS},
        {L"api-ms-win-core-qv4z-l1-1-0.dll", 0x0A00, 0, APISET_FILE},
        {L"api-ms-win-core-synch-l1-2-0.dll", 0x0602, -1, APISET_UNKNOWN},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.answer, JudgeApiSet(row.name, row.version, row.presence)) << std::string(row.name, row.name + 40);
}

// A DLL image made here: the headers and one section at address 0x1000 (file
// offset 0x200), whose bytes a test puts in.
class Image {
public:
    explicit Image(WORD machine = IMAGE_FILE_MACHINE_AMD64) : m_machine(machine) {}
    // Puts bytes at the section's end; their address.
    DWORD Put(const void* data, size_t size)
    {
        const DWORD address = 0x1000 + static_cast<DWORD>(m_section.size());
        m_section.insert(m_section.end(), static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
        return address;
    }
    DWORD PutText(const char* text) { return Put(text, strlen(text) + 1); }
    void Patch(DWORD address, const void* data, size_t size) { memcpy(&m_section[address - 0x1000], data, size); }
    void Directory(int index, DWORD address, DWORD size) { m_directories[index] = {address, size}; }
    std::vector<BYTE> Bytes(WORD dllCharacteristics = 0) const
    {
        IMAGE_NT_HEADERS64 headers = {};
        headers.Signature = IMAGE_NT_SIGNATURE;
        headers.FileHeader = {m_machine, 1, 0, 0, 0, sizeof(headers.OptionalHeader), IMAGE_FILE_DLL};
        headers.OptionalHeader.Magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
        headers.OptionalHeader.SizeOfHeaders = 0x200;
        headers.OptionalHeader.DllCharacteristics = dllCharacteristics;
        headers.OptionalHeader.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
        memcpy(headers.OptionalHeader.DataDirectory, m_directories, sizeof(m_directories));
        IMAGE_SECTION_HEADER section = {};
        section.Misc.VirtualSize = section.SizeOfRawData = static_cast<DWORD>(m_section.size());
        section.VirtualAddress = 0x1000;
        section.PointerToRawData = 0x200;
        std::vector<BYTE> bytes(0x200 + m_section.size());
        IMAGE_DOS_HEADER dos = {};
        dos.e_magic = IMAGE_DOS_SIGNATURE;
        dos.e_lfanew = sizeof(dos);
        memcpy(&bytes[0], &dos, sizeof(dos));
        memcpy(&bytes[sizeof(dos)], &headers, sizeof(headers));
        memcpy(&bytes[sizeof(dos) + sizeof(headers)], &section, sizeof(section));
        std::copy(m_section.begin(), m_section.end(), bytes.begin() + 0x200);
        return bytes;
    }

private:
    WORD m_machine;
    IMAGE_DATA_DIRECTORY m_directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    std::vector<BYTE> m_section;
};

// The loader ends the import list at an entry without a name or without a
// table of addresses, and reads each function by number or by name.
TEST(PeReader, ReadsTheImportListAsTheLoaderReadsIt)
{
    Image image;
    const ULONGLONG byName = image.Put("\x03\0Foo", 6);
    const ULONGLONG functions[] = {IMAGE_ORDINAL_FLAG64 | 7, byName, 0};
    const DWORD list = image.Put(functions, sizeof(functions));
    const IMAGE_IMPORT_DESCRIPTOR descriptors[] = {{{list}, 0, 0, image.PutText("a.dll"), list},
                                                   {{0}, 0, 0, image.PutText("b.dll"), 0},
                                                   {{list}, 0, 0, image.PutText("c.dll"), list},
                                                   {}};
    image.Directory(IMAGE_DIRECTORY_ENTRY_IMPORT, image.Put(descriptors, sizeof(descriptors)), sizeof(descriptors));
    const std::vector<BYTE> bytes = image.Bytes();
    ByteSource source(bytes.data(), static_cast<DWORD>(bytes.size()));
    PeFile file(source);
    WCHAR name[MAX_PATH];
    std::vector<std::wstring> names;
    for (DWORD i = 0; file.Import(i, name); ++i)
        names.push_back(name);
    EXPECT_EQ(std::vector<std::wstring>{L"a.dll"}, names);
    FunctionRef function;
    bool unreadable = true;
    ASSERT_TRUE(file.ImportedFunction(0, 0, &function, &unreadable));
    EXPECT_EQ(7, function.ordinal);
    EXPECT_STREQ("", function.name);
    ASSERT_TRUE(file.ImportedFunction(0, 1, &function, &unreadable));
    EXPECT_EQ(3, function.hint);
    EXPECT_STREQ("Foo", function.name);
    EXPECT_FALSE(file.ImportedFunction(0, 2, &function, &unreadable));
    EXPECT_FALSE(unreadable);
}

// Names are found by halving the sorted table, numbers less the table's base;
// an empty address is missing, one inside the table a forward.
TEST(PeReader, LooksUpExportsAsTheLoaderLooksThemUp)
{
    Image image;
    IMAGE_EXPORT_DIRECTORY exports = {};
    const DWORD table = image.Put(&exports, sizeof(exports));
    const DWORD forward = image.PutText("other.Target");
    image.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT, table, forward + 13 - table);
    const DWORD addresses[] = {0x2000, 0, forward};
    const DWORD names[] = {image.PutText("Alpha"), image.PutText("Forward"), image.PutText("Gamma")};
    const WORD ordinals[] = {0, 2, 0};
    exports.Base = 5;
    exports.NumberOfFunctions = 3;
    exports.NumberOfNames = 3;
    exports.AddressOfFunctions = image.Put(addresses, sizeof(addresses));
    exports.AddressOfNames = image.Put(names, sizeof(names));
    exports.AddressOfNameOrdinals = image.Put(ordinals, sizeof(ordinals));
    image.Patch(table, &exports, sizeof(exports));
    const std::vector<BYTE> bytes = image.Bytes();
    ByteSource source(bytes.data(), static_cast<DWORD>(bytes.size()));
    PeFile file(source);
    const struct {
        FunctionRef function;
        ExportKind kind;
    } rows[] = {
        {{0, 2, "Alpha"}, EXPORT_PRESENT},     {{0, 0, "Gamma"}, EXPORT_PRESENT}, {{0, 0, "Beta"}, EXPORT_MISSING},
        {{0, 0, "Forward"}, EXPORT_FORWARDED}, {{5, 0, ""}, EXPORT_PRESENT},      {{6, 0, ""}, EXPORT_MISSING},
        {{8, 0, ""}, EXPORT_MISSING},          {{4, 0, ""}, EXPORT_MISSING},
    };
    for (const auto& row : rows) {
        char target[256] = "";
        EXPECT_EQ(int(row.kind), int(file.FindExport(row.function, target)))
            << row.function.name << row.function.ordinal;
        if (row.kind == EXPORT_FORWARDED) {
            EXPECT_STREQ("other.Target", target);
        }
    }
}

// The manifest the loader applies is resource ID 2 of type 24, unless the
// header turns isolation off; an ARM64 DLL with x64 code's metadata is ARM64X.
TEST(PeReader, ReadsTheManifestAndTheHybridMark)
{
    Image image(IMAGE_FILE_MACHINE_ARM64);
    const char manifest[] = "<assembly/>";
    const DWORD text = image.Put(manifest, sizeof(manifest) - 1);
    // Three directories of one ID entry each (16 bytes, then the entry's ID and data) and the data entry.
    const DWORD tree[] = {0,     0,
                          0,     0x10000,
                          24,    0x80000018, // the types: 24, its names' directory at 24
                          0,     0,
                          0,     0x10000,
                          2,     0x80000030, // the names: 2, its languages' directory at 48
                          0,     0,
                          0,     0x10000,
                          0x409, 0x48, // the languages: the data entry at 72
                          text,  sizeof(manifest) - 1,
                          0,     0};
    image.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE, image.Put(tree, sizeof(tree)), sizeof(tree));
    ULONGLONG config[26] = {sizeof(config)};
    config[25] = 0x1000; // the metadata of the x64 code
    const DWORD configAddress = image.Put(config, sizeof(config));
    image.Directory(IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG, configAddress, sizeof(config));
    const std::vector<BYTE> bytes = image.Bytes();
    ByteSource source(bytes.data(), static_cast<DWORD>(bytes.size()));
    PeFile file(source);
    char read[64] = "";
    EXPECT_TRUE(file.Manifest(read, sizeof(read)));
    EXPECT_STREQ(manifest, read);
    EXPECT_TRUE(file.Facts().hybrid);
    const std::vector<BYTE> isolated = image.Bytes(IMAGE_DLLCHARACTERISTICS_NO_ISOLATION);
    ByteSource isolatedSource(isolated.data(), static_cast<DWORD>(isolated.size()));
    EXPECT_FALSE(PeFile(isolatedSource).Manifest(read, sizeof(read)));
    config[25] = 0;
    image.Patch(configAddress, config, sizeof(config));
    const std::vector<BYTE> plain = image.Bytes();
    ByteSource plainSource(plain.data(), static_cast<DWORD>(plain.size()));
    EXPECT_FALSE(PeFile(plainSource).Facts().hybrid);
}

} // namespace
