// The processors of the emulated i386 machine, whose CPUID answers are known:
// the default model is an AMD with MMX, SSE and 3DNow! and its extensions, the
// Pentium III an Intel with MMX and SSE and no extended functions. The boot
// says which model it is in FERROTUNE_VM_CPU.
#include "cpuprobe.h"
#include "lumaret.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

struct GuestModel {
    const char* cpu;
    const char* vendor;
    bool extendedFunctions;
    unsigned long mask;
};

const GuestModel kModels[] = {
    {"max,-smap", "AuthenticAMD", true, CXCPU_MMX | CXCPU_SSE | CXCPU_MMXEXT | CXCPU_3DNOW | CXCPU_3DNOWEXT},
    {"pentium3", "GenuineIntel", false, CXCPU_MMX | CXCPU_SSE | CXCPU_MMXEXT},
};

TEST(GuestProcessor, IdentifiesTheModelOfThisBoot)
{
    const char* cpu = getenv("FERROTUNE_VM_CPU");
    ASSERT_NE(nullptr, cpu) << "runs only in the emulated i386 machine";
    const GuestModel* model = nullptr;
    for (const GuestModel& each : kModels) {
        if (strcmp(each.cpu, cpu) == 0)
            model = &each;
    }
    ASSERT_NE(nullptr, model) << "no known answers for the model " << cpu;

    CxCpuReading reading = CxReadProcessor();
    EXPECT_EQ(std::string(model->vendor), std::string(reading.vendor, 12));
    EXPECT_EQ(model->extendedFunctions, reading.extendedEdx != 0);

    g_systemInfo.Collect();
    EXPECT_EQ(model->mask, g_systemInfo.m_cpuFeatures) << cpu;
    printf("%s: %.12s, standard EDX 0x%08lX, extended EDX 0x%08lX, feature mask 0x%02lX\n", cpu, reading.vendor,
           reading.standardEdx, reading.extendedEdx, g_systemInfo.m_cpuFeatures);
}

} // namespace
