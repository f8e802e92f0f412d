// The short file name of a console line: the name and extension of a path.
#include "pathsplit.h"

#include <gtest/gtest.h>

#include <string.h>

#include <ostream>
#include <string>

namespace {

const UINT kWesternCodePage = 1252;
const UINT kShiftJisCodePage = 932; // a double-byte code page whose trail bytes include '\\'

struct SplitCase {
    const char* name;
    std::string path;
    UINT codePage;
    std::string shortName;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

// "\x95\x5C" is one Shift-JIS character whose trail byte is a backslash.
const std::string kKanji = "\x95\x5C";

const SplitCase kSplitCases[] = {
    {"DriveDirectoryNameExtension", "C:\\src\\abc.def", kWesternCodePage, "abc.def"},
    {"NameOnly", "abc", kWesternCodePage, "abc"},
    {"TrailingBackslash", "C:\\src\\", kWesternCodePage, ""},
    {"ForwardSlashes", "/work/corelib/Src/xstring.cpp", kWesternCodePage, "xstring.cpp"},
    {"MixedSlashes", "a/b\\c/d\\e.f", kWesternCodePage, "e.f"},
    {"DriveWithoutDirectory", "x:name.ext", kWesternCodePage, "name.ext"},
    {"AnyFirstCharacterBeforeAColon", "::abc", kWesternCodePage, "abc"},
    {"DriveOnly", "C:", kWesternCodePage, ""},
    {"Empty", "", kWesternCodePage, ""},
    {"LastDotStartsTheExtension", "dir\\c.d.e", kWesternCodePage, "c.d.e"},
    {"DotInDirectoryIsNoExtension", "dir.v2\\file", kWesternCodePage, "file"},
    {"TrailingDot", "dir\\file.", kWesternCodePage, "file."},
    {"DotFile", "dir\\.hidden", kWesternCodePage, ".hidden"},
    {"OnlyDots", ".....", kWesternCodePage, "....."},
    {"OnlySlashes", "////", kWesternCodePage, ""},
    {"OnlyMixedSeparators", "\\/\\/\\", kWesternCodePage, ""},
    {"SeparatorsAndDots", "/.\\.", kWesternCodePage, "."},
    {"NetworkPathIsNotSplit", "\\\\server\\share\\abc.def", kWesternCodePage, "\\\\server\\share\\abc.def"},
    {"OnlyBackslashesIsANetworkPath", "\\\\\\\\", kWesternCodePage, "\\\\\\\\"},
    {"LongNameIsCut", std::string(5000, 'n'), kWesternCodePage, std::string(255, 'n')},
    {"LongNameAndExtensionAreCutEach", "C:\\d\\" + std::string(300, 'n') + "." + std::string(300, 'e'),
     kWesternCodePage, std::string(255, 'n') + "." + std::string(254, 'e')},
    {"LongDirectoryIsDropped", std::string(5000, '/') + "a.b", kWesternCodePage, "a.b"},
    {"LongDirectoryAfterADriveIsDropped", "C:" + std::string(5000, '\\') + "a.b", kWesternCodePage, "a.b"},
    {"LongNetworkPathIsCutToTheBuffer", "\\\\" + std::string(5000, 's'), kWesternCodePage,
     "\\\\" + std::string(1021, 's')},
    // Double-byte characters are stepped over whole.
    {"TrailByteBackslashIsNoSeparator", "C:\\dir\\" + kKanji + ".txt", kShiftJisCodePage, kKanji + ".txt"},
    {"SameBytesInAWesternCodePage", "C:\\dir\\" + kKanji + ".txt", kWesternCodePage, ".txt"},
    {"TrailByteBackslashAtTheEnd", "dir\\a" + kKanji, kShiftJisCodePage, "a" + kKanji},
    {"LeadByteBeforeTheEndStandsAlone", "dir\\abc\x95", kShiftJisCodePage, "abc\x95"},
    {"CutNeverSplitsACharacter", "d\\" + std::string(254, 'a') + kKanji + ".x", kShiftJisCodePage,
     std::string(254, 'a') + ".x"},
    {"CutKeepsAWholeCharacterThatFits", "d\\" + std::string(253, 'a') + kKanji + ".x", kShiftJisCodePage,
     std::string(253, 'a') + kKanji + ".x"},
};

// The path is split into a buffer with guard bytes after its 1024 bytes.
class ShortFileName : public testing::TestWithParam<SplitCase> {};

TEST_P(ShortFileName, IsTheNameAndExtensionAndStaysInItsBuffer)
{
    const SplitCase& c = GetParam();
    const size_t kGuard = 64;
    char buffer[1024 + kGuard];
    memset(buffer, 0x5A, sizeof(buffer));
    CxShortFileName(c.path.c_str(), buffer, c.codePage);
    ASSERT_LT(strlen(buffer), 1024u);
    EXPECT_EQ(c.shortName, std::string(buffer));
    for (size_t i = 1024; i < sizeof(buffer); ++i)
        ASSERT_EQ(0x5A, buffer[i]) << "written past the buffer at " << i;
}

INSTANTIATE_TEST_SUITE_P(Paths, ShortFileName, testing::ValuesIn(kSplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

} // namespace
