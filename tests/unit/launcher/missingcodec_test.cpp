// What the "Codec not detected" box says for each state of the installation
// that the end-to-end scenarios cannot make here: facts in, the text with the
// built Ferrotune.exe's own strings out.
#include "debuggee.h"
#include "missingcodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

#define CODEC_NOT_DETECTED "Codec not detected. Please make sure the codec is properly installed."

const WORD kI386 = 0x014C;
const WORD kAmd64 = 0x8664;
const WORD kArm64 = 0xAA64;

struct Case {
    const char* name;
    CodecFacts facts;
    const char* text;
};

// A codec registered as qv4z.dll and found in the system folder.
CodecFacts Found(bool program64Bit, WORD machine, bool windows64Bit = true)
{
    CodecFacts facts = {};
    facts.managerLoaded = true;
    facts.program64Bit = program64Bit;
    facts.registeredAs = facts.fileName = "qv4z.dll";
    facts.systemFolder = "C:\\WINDOWS\\system32";
    facts.windowsFolder = "C:\\WINDOWS";
    facts.foundPath = "C:\\WINDOWS\\system32\\qv4z.dll";
    facts.machine = machine;
    facts.windows64Bit = windows64Bit;
    return facts;
}

CodecFacts NothingLoaded()
{
    CodecFacts facts = Found(true, kI386);
    facts.managerLoaded = false;
    return facts;
}

CodecFacts OnlyFor32Bit(bool program64Bit)
{
    CodecFacts facts = {};
    facts.managerLoaded = true;
    facts.program64Bit = program64Bit;
    facts.registeredFor32Bit = true;
    return facts;
}

const Case kCases[] = {
    // Without the compressor manager nothing was looked for.
    {"NoCompressorManager", NothingLoaded(), CODEC_NOT_DETECTED},
    {"32BitProgramNeverSays32BitOnly", OnlyFor32Bit(false), CODEC_NOT_DETECTED},
    {"64BitDllFor32BitProgramOnX64", Found(false, kAmd64),
     CODEC_NOT_DETECTED "\n\nThe codec's file C:\\WINDOWS\\system32\\qv4z.dll is a 64-bit DLL, which this 32-bit "
                        "Ferrotune cannot use. A 64-bit codec installed for 64-bit programs is configured with the "
                        "64-bit Ferrotune (x64\\Ferrotune.exe)."},
    {"Arm64Dll", Found(true, kArm64),
     CODEC_NOT_DETECTED "\n\nThe codec's file C:\\WINDOWS\\system32\\qv4z.dll is a DLL for another kind of processor, "
                        "which this Ferrotune cannot use."},
    {"NoPeFile", Found(false, 0),
     CODEC_NOT_DETECTED "\n\nThe codec's file C:\\WINDOWS\\system32\\qv4z.dll is installed, but the codec did not "
                        "start: the file may be damaged or may not be a codec. Please reinstall the codec, or ask its "
                        "maker for help."},
};

class CodecMissingText : public testing::TestWithParam<Case> {};

void PrintTo(const Case& row, std::ostream* out)
{
    *out << row.name;
}

HMODULE Program()
{
    static HMODULE program =
        LoadLibraryExA((ThisProgramFolder() + "..\\bin\\Ferrotune.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return program;
}

TEST_P(CodecMissingText, SaysWhatTheFactsShow)
{
    ASSERT_NE(nullptr, Program());
    EXPECT_EQ(std::string(GetParam().text), CodecMissingMessage(GetParam().facts, Program()).Text());
}

INSTANTIATE_TEST_SUITE_P(Facts, CodecMissingText, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A path of any length is shown with its start and its file name, cut
// visibly in between.
TEST(CodecMissingLongPath, IsCutVisibly)
{
    ASSERT_NE(nullptr, Program());
    const std::string path = "C:\\" + std::string(1000, 'd') + "\\qv4z.dll";
    CodecFacts facts = Found(true, kI386);
    facts.foundPath = path.c_str();
    const std::string text = CodecMissingMessage(facts, Program()).Text();
    EXPECT_NE(std::string::npos, text.find(" C:\\ddd")) << text;
    EXPECT_NE(std::string::npos, text.find("d...d")) << text;
    EXPECT_NE(std::string::npos, text.find("ddd\\qv4z.dll is a 32-bit DLL")) << text;
    EXPECT_LT(text.size(), 600u) << text;
}

} // namespace
