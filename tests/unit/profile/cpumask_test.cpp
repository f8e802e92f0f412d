// Processor identification on paper: the mask rules for any reading, and the
// order of probes and CPUID functions on a scripted processor.
#include "cpuprobe.h"
#include "lumaret.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

CxCpuReading Reading(const char* vendor, unsigned long standardEdx, unsigned long extendedEdx)
{
    CxCpuReading reading = {};
    memcpy(reading.vendor, vendor, strnlen(vendor, sizeof(reading.vendor)));
    reading.standardEdx = standardEdx;
    reading.extendedEdx = extendedEdx;
    return reading;
}

const unsigned long kBit18 = 0x00040000;
const unsigned long kBit22 = 0x00400000;
const unsigned long kBit23 = 0x00800000;
const unsigned long kBit25 = 0x02000000;
const unsigned long kBit26 = 0x04000000;
const unsigned long kBit30 = 0x40000000;
const unsigned long kBit31 = 0x80000000;

struct MaskCase {
    const char* name;
    const char* vendor;
    unsigned long standardEdx;
    unsigned long extendedEdx;
    unsigned long expected;
};

class FeatureMask : public testing::TestWithParam<MaskCase> {};

TEST_P(FeatureMask, FollowsTheRules)
{
    const MaskCase& c = GetParam();
    EXPECT_EQ(c.expected, CxCpuFeatureMask(Reading(c.vendor, c.standardEdx, c.extendedEdx)));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FeatureMask,
    testing::Values(MaskCase{"MmxSsePsnIntel", "GenuineIntel", kBit23 | kBit25 | kBit18, 0, 0x1D},
                    MaskCase{"MmxSsePsnAmd", "AuthenticAMD", kBit23 | kBit25 | kBit18, 0, 0x1D},
                    MaskCase{"MmxSsePsnOtherVendor", "CyrixInstead", kBit23 | kBit25 | kBit18, 0, 0x1D},
                    MaskCase{"MmxSseOnly", "GenuineIntel", kBit23 | kBit25, 0, 0x0D},
                    MaskCase{"SseAloneGivesMmxExtToo", "GenuineIntel", kBit25, 0, 0x0C},
                    MaskCase{"PsnIsBit18NotBit26", "GenuineIntel", kBit26, 0, 0},
                    MaskCase{"AmdMmxAndExtendedSet", "AuthenticAMD", kBit23, kBit31 | kBit30 | kBit22, 0x2B},
                    MaskCase{"AmdMmxSseAndExtendedSet", "AuthenticAMD", kBit23 | kBit25, kBit31 | kBit30 | kBit22,
                             0x2F},
                    MaskCase{"AmdExtendedBit22Alone", "AuthenticAMD", 0, kBit22, 0x08},
                    MaskCase{"AmdExtendedBit30Alone", "AuthenticAMD", 0, kBit30, 0x20},
                    MaskCase{"IntelExtendedBitsGiveOnly3DNow", "GenuineIntel", 0, kBit31 | kBit30 | kBit22, 0x02},
                    MaskCase{"OtherVendorExtendedBitsGiveOnly3DNow", "CentaurHauls", 0, kBit31 | kBit30 | kBit22, 0x02},
                    MaskCase{"NearMissOfAmdIsNotAmd", "AuthenticAMX", 0, kBit31 | kBit30 | kBit22, 0x02},
                    MaskCase{"TruncatedAmdIsNotAmd", "Authentic", 0, kBit31 | kBit30 | kBit22, 0x02},
                    MaskCase{"NoStandardFunctionButExtendedAmd", "AuthenticAMD", 0, kBit31 | kBit30 | kBit22, 0x2A},
                    MaskCase{"NoCpuid", "", 0, 0, 0},
                    MaskCase{"AllBitsIntelSetsNothingElse", "GenuineIntel", 0xFFFFFFFF, 0xFFFFFFFF, 0x1F},
                    MaskCase{"AllBitsAmdSetsNothingElse", "AuthenticAMD", 0xFFFFFFFF, 0xFFFFFFFF, 0x3F}),
    [](const testing::TestParamInfo<MaskCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// A scripted processor behind the probe operations.

struct ScriptedProcessor {
    bool acToggles = true;
    bool idToggles = true;
    unsigned long highestStandard = 1;
    unsigned long highestExtended = 0x80000001;
    unsigned long vendorEbx = 0, vendorEdx = 0, vendorEcx = 0;
    unsigned long standardEdx = 0;
    unsigned long extendedEdx = 0;
    std::vector<std::string> log;
};

ScriptedProcessor* s_cpu = nullptr;

bool ScriptedAc()
{
    s_cpu->log.push_back("AC");
    return s_cpu->acToggles;
}

bool ScriptedId()
{
    s_cpu->log.push_back("ID");
    return s_cpu->idToggles;
}

void ScriptedCpuid(unsigned long function, CxCpuidResult* result)
{
    char text[32];
    snprintf(text, sizeof(text), "CPUID %lX", function);
    s_cpu->log.push_back(text);
    *result = CxCpuidResult{0x11111111, 0x22222222, 0x33333333, 0x44444444}; // rubbish for the rest
    if (function == 0) {
        *result = CxCpuidResult{s_cpu->highestStandard, s_cpu->vendorEbx, s_cpu->vendorEcx, s_cpu->vendorEdx};
    } else if (function == 1) {
        result->edx = s_cpu->standardEdx;
    } else if (function == 0x80000000) {
        result->eax = s_cpu->highestExtended;
    } else if (function == 0x80000001) {
        result->edx = s_cpu->extendedEdx;
    }
}

void ScriptedEmms()
{
    s_cpu->log.push_back("EMMS");
}

void ScriptedXorps()
{
    s_cpu->log.push_back("XORPS");
}

class ScriptedCpu : public testing::Test {
protected:
    void SetUp() override
    {
        s_cpu = &cpu;
        g_cpuOps = {ScriptedAc, ScriptedId, ScriptedCpuid, ScriptedEmms, ScriptedXorps};
    }
    void TearDown() override
    {
        g_cpuOps = g_realCpuOps;
        s_cpu = nullptr;
    }
    ScriptedProcessor cpu;
};

typedef std::vector<std::string> Log;

TEST_F(ScriptedCpu, AlignmentCheckThatCannotChangeMeansNoCpuid)
{
    cpu.acToggles = false;
    cpu.standardEdx = 0xFFFFFFFF;
    CxCpuInfo info;
    EXPECT_EQ(0ul, info.m_features);
    EXPECT_EQ((Log{"AC"}), cpu.log);
}

TEST_F(ScriptedCpu, IdFlagThatCannotChangeMeansNoCpuid)
{
    cpu.idToggles = false;
    cpu.standardEdx = 0xFFFFFFFF;
    CxCpuInfo info;
    EXPECT_EQ(0ul, info.m_features);
    EXPECT_EQ((Log{"AC", "ID"}), cpu.log);
}

struct FunctionsCase {
    const char* name;
    unsigned long highestStandard;
    unsigned long highestExtended;
    Log expected;
};

class CpuidFunctions : public ScriptedCpu, public testing::WithParamInterface<FunctionsCase> {};

TEST_P(CpuidFunctions, AreAskedUpToTheHighestReported)
{
    cpu.highestStandard = GetParam().highestStandard;
    cpu.highestExtended = GetParam().highestExtended;
    CxReadProcessor();
    EXPECT_EQ(GetParam().expected, cpu.log);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CpuidFunctions,
    testing::Values(
        FunctionsCase{"Both", 0xD, 0x80000008, {"AC", "ID", "CPUID 0", "CPUID 1", "CPUID 80000000", "CPUID 80000001"}},
        FunctionsCase{
            "NoStandardButExtended", 0, 0x80000001, {"AC", "ID", "CPUID 0", "CPUID 80000000", "CPUID 80000001"}},
        FunctionsCase{"StandardButNoExtended", 1, 0x80000000, {"AC", "ID", "CPUID 0", "CPUID 1", "CPUID 80000000"}},
        FunctionsCase{"ExtendedRangeAbsent", 2, 0x00000002, {"AC", "ID", "CPUID 0", "CPUID 1", "CPUID 80000000"}},
        FunctionsCase{"HighestComparedUnsigned",
                      0x80000005,
                      0xFFFFFFFF,
                      {"AC", "ID", "CPUID 0", "CPUID 1", "CPUID 80000000", "CPUID 80000001"}}),
    [](const testing::TestParamInfo<FunctionsCase>& info) { return std::string(info.param.name); });

TEST_F(ScriptedCpu, VendorIsEbxEdxEcxInMemoryOrder)
{
    cpu.vendorEbx = 0x68747541; // "Auth"
    cpu.vendorEdx = 0x69746E65; // "enti"
    cpu.vendorEcx = 0x444D4163; // "cAMD"
    CxCpuReading reading = CxReadProcessor();
    EXPECT_EQ(0, memcmp("AuthenticAMD", reading.vendor, 12));
}

TEST_F(ScriptedCpu, RegistersOfFunctionsNotAskedStayZero)
{
    cpu.highestStandard = 0;
    cpu.highestExtended = 0x80000000;
    cpu.standardEdx = 0xFFFFFFFF;
    cpu.extendedEdx = 0xFFFFFFFF;
    CxCpuReading reading = CxReadProcessor();
    EXPECT_EQ(0ul, reading.standardEdx);
    EXPECT_EQ(0ul, reading.extendedEdx);
}

struct InstructionCase {
    const char* name;
    unsigned long standardEdx;
    Log executed; // after the probes and CPUID
    unsigned long expected;
};

class InstructionsExecuted : public ScriptedCpu, public testing::WithParamInterface<InstructionCase> {};

TEST_P(InstructionsExecuted, OnlyForTheBitsThatClaimTheirSet)
{
    cpu.vendorEbx = 0x756E6547; // "GenuineIntel"
    cpu.vendorEdx = 0x49656E69;
    cpu.vendorEcx = 0x6C65746E;
    cpu.standardEdx = GetParam().standardEdx;
    CxCpuInfo info;
    EXPECT_EQ(GetParam().expected, info.m_features);
    Log expected = {"AC", "ID", "CPUID 0", "CPUID 1", "CPUID 80000000", "CPUID 80000001"};
    expected.insert(expected.end(), GetParam().executed.begin(), GetParam().executed.end());
    EXPECT_EQ(expected, cpu.log);
}

INSTANTIATE_TEST_SUITE_P(Sets, InstructionsExecuted,
                         testing::Values(InstructionCase{"None", kBit18, {}, 0x10},
                                         InstructionCase{"MmxOnly", kBit23, {"EMMS"}, 0x01},
                                         InstructionCase{"SseOnly", kBit25, {"XORPS"}, 0x0C},
                                         InstructionCase{"Both", kBit23 | kBit25, {"EMMS", "XORPS"}, 0x0D}),
                         [](const testing::TestParamInfo<InstructionCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
