// The processors of the emulated machines, whose CPUID answers are known: the
// default model (QEMU's "max") is an AMD with MMX, SSE and 3DNow! and its
// extensions, in the i386 machine and in the x86_64 one that runs the program
// under WoW64 alike; the Pentium III (i386 machine only) an Intel with MMX and
// SSE and no extended functions. The boot says which machine and model it is
// in FERROTUNE_VM_MACHINE and FERROTUNE_VM_CPU.
#include "cpuprobe.h"
#include "lumaret.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

struct GuestModel {
    const char* machine;
    const char* cpu;
    const char* vendor;
    bool extendedFunctions;
    unsigned long mask;
};

const GuestModel kModels[] = {
    {"i386vm", "max,-smap", "AuthenticAMD", true, CXCPU_MMX | CXCPU_SSE | CXCPU_MMXEXT | CXCPU_3DNOW | CXCPU_3DNOWEXT},
    {"i386vm", "pentium3", "GenuineIntel", false, CXCPU_MMX | CXCPU_SSE | CXCPU_MMXEXT},
    {"wow64vm", "max,-smap", "AuthenticAMD", true, CXCPU_MMX | CXCPU_SSE | CXCPU_MMXEXT | CXCPU_3DNOW | CXCPU_3DNOWEXT},
};

TEST(GuestProcessor, IdentifiesTheModelOfThisBoot)
{
    const char* machine = getenv("FERROTUNE_VM_MACHINE");
    const char* cpu = getenv("FERROTUNE_VM_CPU");
    ASSERT_TRUE(machine != nullptr && cpu != nullptr) << "runs only in the emulated machines";
    const GuestModel* model = nullptr;
    for (const GuestModel& each : kModels) {
        if (strcmp(each.machine, machine) == 0 && strcmp(each.cpu, cpu) == 0)
            model = &each;
    }
    ASSERT_NE(nullptr, model) << "no known answers for the model " << cpu << " of " << machine;

    CxCpuReading reading = CxReadProcessor();
    EXPECT_EQ(std::string(model->vendor), std::string(reading.vendor, 12));
    EXPECT_EQ(model->extendedFunctions, reading.extendedEdx != 0);

    g_systemInfo.Collect();
    EXPECT_EQ(model->mask, g_systemInfo.m_cpuFeatures) << cpu;
    printf("%s %s: %.12s, standard EDX 0x%08lX, extended EDX 0x%08lX, feature mask 0x%02lX\n", machine, cpu,
           reading.vendor, reading.standardEdx, reading.extendedEdx, g_systemInfo.m_cpuFeatures);
}

} // namespace
