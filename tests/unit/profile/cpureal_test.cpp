// Identification of the processor that runs the tests, checked against the
// CPUID values this test reads itself and against the flags the host system
// reports in /proc/cpuinfo (drive Z: under Wine).
#include "cpuprobe.h"
#include "lumaret.h"

#include <cpuid.h>
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <set>
#include <sstream>
#include <string>

namespace {

struct OwnCpuid {
    char vendor[13] = {};
    unsigned long standardEdx = 0;
    unsigned long extendedEdx = 0;
};

OwnCpuid ReadOwnCpuid()
{
    OwnCpuid own;
    unsigned a, b, c, d;
    __cpuid(0, a, b, c, d);
    memcpy(own.vendor, &b, 4);
    memcpy(own.vendor + 4, &d, 4);
    memcpy(own.vendor + 8, &c, 4);
    if (a >= 1) {
        __cpuid(1, a, b, c, d);
        own.standardEdx = d;
    }
    __cpuid(0x80000000, a, b, c, d);
    if (a >= 0x80000001) {
        __cpuid(0x80000001, a, b, c, d);
        own.extendedEdx = d;
    }
    return own;
}

// The mask rules, written out for this check.
unsigned long MaskByTheRules(const OwnCpuid& cpu)
{
    bool amd = strcmp(cpu.vendor, "AuthenticAMD") == 0;
    unsigned long mask = 0;
    if (cpu.standardEdx & (1ul << 23))
        mask |= 0x01;
    if (cpu.standardEdx & (1ul << 25))
        mask |= 0x04 | 0x08;
    if (cpu.standardEdx & (1ul << 18))
        mask |= 0x10;
    if (cpu.extendedEdx & (1ul << 31))
        mask |= 0x02;
    if (amd && (cpu.extendedEdx & (1ul << 22)))
        mask |= 0x08;
    if (amd && (cpu.extendedEdx & (1ul << 30)))
        mask |= 0x20;
    return mask;
}

TEST(RealProcessor, ReadingEqualsOwnCpuid)
{
    OwnCpuid own = ReadOwnCpuid();
    CxCpuReading reading = CxReadProcessor();
    EXPECT_EQ(std::string(own.vendor, 12), std::string(reading.vendor, 12));
    EXPECT_EQ(own.standardEdx, reading.standardEdx);
    EXPECT_EQ(own.extendedEdx, reading.extendedEdx);
}

TEST(RealProcessor, MaskFollowsTheRulesForOwnCpuid)
{
    OwnCpuid own = ReadOwnCpuid();
    unsigned long expected = MaskByTheRules(own);
    CxCpuInfo info;
    EXPECT_EQ(expected, info.m_features);

    g_systemInfo.Collect();
    EXPECT_EQ(expected, g_systemInfo.m_cpuFeatures);
    printf("processor %s: standard EDX 0x%08lX, extended EDX 0x%08lX, feature mask 0x%02lX\n", own.vendor,
           own.standardEdx, own.extendedEdx, g_systemInfo.m_cpuFeatures);
}

struct HostCpu {
    std::string vendor;
    std::set<std::string> flags;
};

bool ReadHostCpuinfo(HostCpu* host)
{
    FILE* file = fopen("Z:\\proc\\cpuinfo", "r");
    if (file == nullptr)
        return false;
    char line[8192];
    bool haveFlags = false;
    while (!haveFlags && fgets(line, sizeof(line), file) != nullptr) {
        std::string text(line);
        std::string::size_type colon = text.find(':');
        if (colon == std::string::npos)
            continue;
        std::string key = text.substr(0, text.find_first_of(" \t"));
        std::istringstream values(text.substr(colon + 1));
        if (key == "vendor_id" && host->vendor.empty()) {
            values >> host->vendor;
        } else if (key == "flags") {
            std::string flag;
            while (values >> flag)
                host->flags.insert(flag);
            haveFlags = true;
        }
    }
    fclose(file);
    return haveFlags;
}

TEST(RealProcessor, MaskAgreesWithTheHostFlags)
{
    HostCpu host;
    ASSERT_TRUE(ReadHostCpuinfo(&host)) << "Z:\\proc\\cpuinfo has no flags line";
    auto has = [&host](const char* flag) { return host.flags.count(flag) != 0; };
    bool amd = host.vendor == "AuthenticAMD";

    struct Agreement {
        const char* name;
        unsigned long bit;
        bool hostSays;
    } const agreements[] = {
        {"mmx", CXCPU_MMX, has("mmx")},
        {"sse", CXCPU_SSE, has("sse")},
        {"sse or AMD mmxext", CXCPU_MMXEXT, has("sse") || (amd && has("mmxext"))},
        {"3dnow", CXCPU_3DNOW, has("3dnow")},
        {"AMD 3dnowext", CXCPU_3DNOWEXT, amd && has("3dnowext")},
        {"pn", CXCPU_PSN, has("pn")},
    };
    g_systemInfo.Collect();
    for (const Agreement& a : agreements)
        EXPECT_EQ(a.hostSays, (g_systemInfo.m_cpuFeatures & a.bit) != 0) << a.name;
}

} // namespace
