// Processor faults during identification, really taken: the probe executes an
// instruction that faults, and the profile records no features while the
// collection goes on.
#include "childscenario.h"
#include "cpuprobe.h"
#include "lumaret.h"

#include <cpuid.h>
#include <gtest/gtest.h>

#include <stdio.h>

#include <stdexcept>
#include <string>
#include <thread>

namespace {

void IllegalInstruction()
{
    asm volatile("ud2");
}

void PrivilegedInstruction()
{
    asm volatile("hlt");
}

void AccessViolation()
{
    // An address the compiler cannot see as null, so the store is really made.
    volatile uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}

void IntegerDivideByZero()
{
    asm volatile("xorl %%ecx, %%ecx\n\t"
                 "divl %%ecx" ::
                     : "eax", "ecx", "edx", "cc");
}

void CppException()
{
    throw std::runtime_error("not a processor fault");
}

void (*s_fault)() = nullptr;

void FaultInsteadOfEmms()
{
    s_fault();
}

void FaultInsteadOfXorps()
{
    s_fault();
}

void FaultingCpuid(unsigned long function, CxCpuidResult* result)
{
    if (function == 1)
        s_fault();
    g_realCpuOps.cpuid(function, result);
}

bool RealProcessorHasMmxAndSse()
{
    unsigned a, b, c, d;
    __cpuid(1, a, b, c, d);
    return (d & (1u << 23)) && (d & (1u << 25));
}

enum Where { InEmms, InXorps, InCpuid };

struct FaultCase {
    const char* name;
    void (*fault)();
    Where where;
};

class FaultDuringIdentification : public testing::TestWithParam<FaultCase> {
protected:
    void TearDown() override { g_cpuOps = g_realCpuOps; }
};

TEST_P(FaultDuringIdentification, LeavesNoFeaturesAndCollectReturns)
{
    ASSERT_TRUE(RealProcessorHasMmxAndSse()) << "the test needs a processor with MMX and SSE";
    s_fault = GetParam().fault;
    if (GetParam().where == InEmms)
        g_cpuOps.emms = FaultInsteadOfEmms;
    else if (GetParam().where == InXorps)
        g_cpuOps.xorps = FaultInsteadOfXorps;
    else
        g_cpuOps.cpuid = FaultingCpuid;

    g_systemInfo.m_cpuFeatures = 0xFFFF;
    g_systemInfo.m_processorCount = -7;
    g_systemInfo.Collect();
    EXPECT_EQ(0ul, g_systemInfo.m_cpuFeatures);
    EXPECT_NE(-7, g_systemInfo.m_processorCount) << "the count is filled before identification";

    // The region is over: a fault now is not caught by it.
    g_cpuOps = g_realCpuOps;
    g_systemInfo.Collect();
    EXPECT_NE(0ul, g_systemInfo.m_cpuFeatures & CXCPU_MMX);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultDuringIdentification,
                         testing::Values(FaultCase{"IllegalInstructionInXorps", IllegalInstruction, InXorps},
                                         FaultCase{"PrivilegedInstructionInXorps", PrivilegedInstruction, InXorps},
                                         FaultCase{"AccessViolationInXorps", AccessViolation, InXorps},
                                         FaultCase{"DivideByZeroInXorps", IntegerDivideByZero, InXorps},
                                         FaultCase{"IllegalInstructionInEmms", IllegalInstruction, InEmms},
                                         FaultCase{"IllegalInstructionInCpuid", IllegalInstruction, InCpuid},
                                         FaultCase{"CppExceptionInCpuid", CppException, InCpuid}),
                         [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// A fault handler of the test's own that steps over a two-byte ud2.
LONG CALLBACK StepOverUd2(EXCEPTION_POINTERS* info)
{
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION)
        return EXCEPTION_CONTINUE_SEARCH;
#if defined(_WIN64)
    info->ContextRecord->Rip += 2;
#else
    info->ContextRecord->Eip += 2;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

volatile bool s_otherThreadSurvived = false;

void CpuidWhileAnotherThreadFaults(unsigned long function, CxCpuidResult* result)
{
    if (function == 1) {
        std::thread other([] {
            IllegalInstruction();
            s_otherThreadSurvived = true;
        });
        other.join();
    }
    g_realCpuOps.cpuid(function, result);
}

TEST(CatchAllRegion, FaultsOfOtherThreadsPassItBy)
{
    PVOID own = AddVectoredExceptionHandler(0, StepOverUd2);
    ASSERT_NE(nullptr, own);
    g_cpuOps.cpuid = CpuidWhileAnotherThreadFaults;
    s_otherThreadSurvived = false;
    g_systemInfo.Collect();
    g_cpuOps = g_realCpuOps;
    RemoveVectoredExceptionHandler(own);

    EXPECT_TRUE(s_otherThreadSurvived);
    EXPECT_NE(0ul, g_systemInfo.m_cpuFeatures) << "the probing thread was disturbed";
}

TEST(CatchAllRegion, EndsWithTheRegion)
{
    g_cpuOps.xorps = IllegalInstruction;
    g_systemInfo.Collect();
    g_cpuOps = g_realCpuOps;
    ASSERT_EQ(0ul, g_systemInfo.m_cpuFeatures);

    // Were the region's handler still taking this thread's faults, this ud2
    // would jump back into a finished frame instead of reaching our handler.
    PVOID own = AddVectoredExceptionHandler(0, StepOverUd2);
    ASSERT_NE(nullptr, own);
    IllegalInstruction();
    RemoveVectoredExceptionHandler(own);
    SUCCEED();
}

TEST(CatchAllRegion, NestedRegionsReturnToTheirOwnStart)
{
    struct Nest {
        static void Inner(void*) { IllegalInstruction(); }
        static void Outer(void* innerResult)
        {
            *static_cast<bool*>(innerResult) = CxRunCatchingAll(Inner, nullptr);
            IllegalInstruction();
        }
    };
    bool inner = true;
    EXPECT_FALSE(CxRunCatchingAll(Nest::Outer, &inner));
    EXPECT_FALSE(inner);
    EXPECT_TRUE(CxRunCatchingAll([](void* flag) { *static_cast<bool*>(flag) = true; }, &inner));
    EXPECT_TRUE(inner);
}

// Identification under a debugger, with XORPS faulting: the fault costs the
// mask and nothing is traced or printed.
CHILD_SCENARIO(InitialiseWithFaultingXorps)
{
    g_cpuOps.xorps = IllegalInstruction;
    if (LumaretInitialize() != 0)
        return 2;
    unsigned long features = g_systemInfo.m_cpuFeatures;
    LumaretUninitialize();
    return features == 0 ? 0 : 3;
}

TEST(CatchAllRegion, FaultIsNeitherTracedNorPrinted)
{
    DebugCapture child = RunChildScenario("InitialiseWithFaultingXorps");
    ASSERT_TRUE(child.finished);
    EXPECT_EQ(0u, child.exitCode);
    EXPECT_TRUE(child.debugLines.empty()) << JoinLines(child.debugLines);
    EXPECT_EQ("", child.standardOutput);
}

} // namespace
