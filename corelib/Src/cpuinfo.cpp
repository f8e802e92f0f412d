// cpuinfo - processor identification: the flags probe and CPUID, the feature
// mask, and the region that turns a processor fault into "no features".
#include "cpuprobe.h"
#include "lumaret.h"

#include <cpuid.h>
#include <string.h>

namespace {

// The flags register is pushed and popped whole; 64-bit code has only the
// quadword forms. Each probe is one asm block so that no compiled code runs
// while AC is inverted (an unaligned access would then fault where the
// system enables alignment checking).
#if defined(_WIN64)
typedef unsigned long long FlagsWord;
#define CX_PUSHF "pushfq\n\t"
#define CX_POPF "popfq\n\t"
#define CX_PUSH "pushq "
#define CX_POP "popq "
#else
typedef unsigned long FlagsWord;
#define CX_PUSHF "pushfl\n\t"
#define CX_POPF "popfl\n\t"
#define CX_PUSH "pushl "
#define CX_POP "popl "
#endif

// One instruction per line.
// clang-format off
bool RealAlignmentCheckToggles()
{
    FlagsWord original;
    FlagsWord changed;
    asm volatile(CX_PUSHF
                 CX_POP "%0\n\t"          // the flags as first read
                 "mov %0, %1\n\t"
                 "xor %2, %1\n\t"         // AC inverted
                 CX_PUSH "%1\n\t"
                 CX_POPF
                 CX_PUSHF
                 CX_POP "%1\n\t"          // read again
                 CX_PUSH "%0\n\t"
                 CX_POPF                  // the first value back
                 : "=&r"(original), "=&r"(changed)
                 : "r"(static_cast<FlagsWord>(CXEFLAGS_AC))
                 : "cc", "memory");
    return ((original ^ changed) & CXEFLAGS_AC) != 0;
}

bool RealIdToggles()
{
    FlagsWord original;
    FlagsWord changed;
    asm volatile(CX_PUSHF
                 CX_POP "%0\n\t"
                 "mov %0, %1\n\t"
                 "xor %2, %1\n\t"         // ID inverted
                 CX_PUSH "%1\n\t"
                 CX_POPF
                 CX_PUSHF
                 CX_POP "%1\n\t"          // read again; left as written
                 : "=&r"(original), "=&r"(changed)
                 : "r"(static_cast<FlagsWord>(CXEFLAGS_ID))
                 : "cc", "memory");
    return ((original ^ changed) & CXEFLAGS_ID) != 0;
}
// clang-format on

void RealCpuid(unsigned long function, CxCpuidResult* result)
{
    unsigned int a, b, c, d;
    __cpuid(function, a, b, c, d);
    result->eax = a;
    result->ebx = b;
    result->ecx = c;
    result->edx = d;
}

void RealEmms()
{
    asm volatile("emms");
}

void RealXorps()
{
#if defined(_WIN64)
    asm volatile("xorps %%xmm0, %%xmm0" ::: "xmm0");
#else
    // The 32-bit build leaves SSE code generation off (the i686 compiler's
    // default), so the compiler itself keeps nothing in xmm0.
    asm volatile("xorps %xmm0, %xmm0");
#endif
}

} // namespace

const CxCpuOps g_realCpuOps = {RealAlignmentCheckToggles, RealIdToggles, RealCpuid, RealEmms, RealXorps};
CxCpuOps g_cpuOps = g_realCpuOps;

// Reads the processor: the AC probe, the ID probe, then CPUID 0 and 1 and the
// extended functions 0x80000000 and 0x80000001. Returns zeros for every step
// not taken.
CxCpuReading CxReadProcessor()
{
    CxCpuReading reading = {};
    if (!g_cpuOps.alignmentCheckToggles() || !g_cpuOps.idToggles())
        return reading; // no CPUID on this processor

    CxCpuidResult regs = {};
    g_cpuOps.cpuid(0, &regs);
    memcpy(reading.vendor + 0, &regs.ebx, 4);
    memcpy(reading.vendor + 4, &regs.edx, 4);
    memcpy(reading.vendor + 8, &regs.ecx, 4);
    if (regs.eax >= 1) {
        g_cpuOps.cpuid(1, &regs);
        reading.standardEdx = regs.edx;
    }

    // The extended range is asked whatever the highest standard function is.
    g_cpuOps.cpuid(0x80000000ul, &regs);
    if (regs.eax >= 0x80000001ul) {
        g_cpuOps.cpuid(0x80000001ul, &regs);
        reading.extendedEdx = regs.edx;
    }
    return reading;
}

// Turns a reading into CXCPU_ flags. Only an AMD processor's extended bits 22
// and 30 count; bit 31 counts for every vendor.
unsigned long CxCpuFeatureMask(const CxCpuReading& reading)
{
    bool amd = false;
    if (strncmp(reading.vendor, "GenuineIntel", sizeof(reading.vendor)) != 0)
        amd = strncmp(reading.vendor, "AuthenticAMD", sizeof(reading.vendor)) == 0;

    unsigned long mask = 0;
    if (reading.standardEdx & CXCPUID_STD_MMX)
        mask |= CXCPU_MMX;
    if (reading.standardEdx & CXCPUID_STD_SSE)
        mask |= CXCPU_MMXEXT | CXCPU_SSE;
    if (reading.standardEdx & CXCPUID_STD_PSN)
        mask |= CXCPU_PSN;
    if (reading.extendedEdx & CXCPUID_EXT_3DNOW)
        mask |= CXCPU_3DNOW;
    if (amd) {
        if (reading.extendedEdx & CXCPUID_EXT_MMXEXT)
            mask |= CXCPU_MMXEXT;
        if (reading.extendedEdx & CXCPUID_EXT_3DNOWEXT)
            mask |= CXCPU_3DNOWEXT;
    }
    return mask;
}

// Identifies the processor into m_features. MMX and SSE count only once one
// instruction of each set has executed; a fault there leaves the constructor
// for the caller's catch-all region.
CxCpuInfo::CxCpuInfo() : m_features(0)
{
    CxCpuReading reading = CxReadProcessor();
    if (reading.standardEdx & CXCPUID_STD_MMX)
        g_cpuOps.emms();
    if (reading.standardEdx & CXCPUID_STD_SSE)
        g_cpuOps.xorps();
    m_features = CxCpuFeatureMask(reading);
}

CxCpuInfo::~CxCpuInfo() {}

// ---------------------------------------------------------------------------
// The catch-all region
// ---------------------------------------------------------------------------
// GCC has no structured exception handling of its own. A vectored handler,
// registered only for the region's lifetime, takes faults of the thread that
// is inside the region and resumes that thread in a landing function, which
// jumps back to the region's start as a longjmp would. Each thread's jump
// buffer lives in a TLS slot, so faults of other threads pass untouched.
namespace {

DWORD RegionSlot()
{
    static const DWORD slot = TlsAlloc();
    return slot;
}

[[noreturn]] void LandAfterFault()
{
    void** buffer = static_cast<void**>(TlsGetValue(RegionSlot()));
    __builtin_longjmp(buffer, 1);
}

LONG CALLBACK RedirectFault(EXCEPTION_POINTERS* info)
{
    // Faults and errors have the top bit of their code set; informational
    // codes (debugger output, C++ exceptions on their way) are left alone.
    if ((info->ExceptionRecord->ExceptionCode & 0x80000000ul) == 0)
        return EXCEPTION_CONTINUE_SEARCH;
    if (TlsGetValue(RegionSlot()) == nullptr)
        return EXCEPTION_CONTINUE_SEARCH;

    // Resume in the landing function on the faulting stack, a little below
    // the fault, aligned as right after a call. Direction and alignment-check
    // flags are cleared for the compiled code that follows.
    CONTEXT* context = info->ContextRecord;
#if defined(_WIN64)
    context->Rsp = ((context->Rsp - 256) & ~static_cast<DWORD64>(15)) - 8;
    context->Rip = reinterpret_cast<DWORD64>(&LandAfterFault);
#else
    context->Esp = ((context->Esp - 256) & ~static_cast<DWORD>(15)) - 4;
    context->Eip = reinterpret_cast<DWORD>(&LandAfterFault);
#endif
    context->EFlags &= ~static_cast<DWORD>(CXEFLAGS_AC | 0x400); // 0x400: DF
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

bool CxRunCatchingAll(void (*body)(void*), void* context)
{
    DWORD slot = RegionSlot();
    if (slot == TLS_OUT_OF_INDEXES)
        return false;
    PVOID handler = AddVectoredExceptionHandler(1, RedirectFault);
    if (handler == nullptr)
        return false; // unprotected identification could end the process

    void* outer = TlsGetValue(slot);
    void* buffer[5];
    volatile bool completed = false;
    if (__builtin_setjmp(buffer) == 0) {
        TlsSetValue(slot, buffer);
        try {
            body(context);
            completed = true;
        } catch (...) {
        }
    }
    TlsSetValue(slot, outer);
    RemoveVectoredExceptionHandler(handler);
    return completed;
}
