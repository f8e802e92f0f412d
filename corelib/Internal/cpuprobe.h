// cpuprobe.h - the pieces of processor identification, for the library and
// its tests: reading the processor, turning the reading into the feature
// mask, and the region that survives a processor fault.
#ifndef CORELIB_INTERNAL_CPUPROBE_H
#define CORELIB_INTERNAL_CPUPROBE_H

#include <windows.h>

// CPUID bits that the feature mask is made from.
const unsigned long CXCPUID_STD_PSN = 0x00040000;      // standard EDX bit 18
const unsigned long CXCPUID_STD_MMX = 0x00800000;      // standard EDX bit 23
const unsigned long CXCPUID_STD_SSE = 0x02000000;      // standard EDX bit 25
const unsigned long CXCPUID_EXT_MMXEXT = 0x00400000;   // extended EDX bit 22 (AMD)
const unsigned long CXCPUID_EXT_3DNOWEXT = 0x40000000; // extended EDX bit 30 (AMD)
const unsigned long CXCPUID_EXT_3DNOW = 0x80000000;    // extended EDX bit 31

// Flags-register bits that tell whether CPUID may be used.
const unsigned long CXEFLAGS_AC = 0x00040000; // alignment check, bit 18
const unsigned long CXEFLAGS_ID = 0x00200000; // identification, bit 21

// The registers one CPUID function returns.
struct CxCpuidResult {
    unsigned long eax;
    unsigned long ebx;
    unsigned long ecx;
    unsigned long edx;
};

// What identification reads from the processor. Every field stays zero for a
// step that was not taken (no CPUID, or a function above the highest one).
struct CxCpuReading {
    char vendor[12];           // CPUID 0: EBX, EDX, ECX, each in memory order
    unsigned long standardEdx; // CPUID 1: EDX
    unsigned long extendedEdx; // CPUID 0x80000001: EDX
};

// The processor operations identification uses. Defaults are the real
// instructions; tests replace entries to script a processor or make one fault.
struct CxCpuOps {
    // Reads EFLAGS, writes it with AC inverted, reads it again, then writes
    // the first value back. True when AC changed.
    bool (*alignmentCheckToggles)();
    // Reads EFLAGS, writes it with ID inverted and reads it again; the flags
    // are left as written. True when ID changed.
    bool (*idToggles)();
    void (*cpuid)(unsigned long function, CxCpuidResult* result);
    void (*emms)();
    void (*xorps)(); // xmm0 with itself
};

extern CxCpuOps g_cpuOps;
// The real processor's operations (what g_cpuOps holds until a test changes it).
extern const CxCpuOps g_realCpuOps;

// Flags probe and CPUID through g_cpuOps.
CxCpuReading CxReadProcessor();

// The feature mask (CXCPU_ flags) for a reading. Pure: executes nothing. The
// caller has executed EMMS and XORPS for the bits that require them.
unsigned long CxCpuFeatureMask(const CxCpuReading& reading);

// Runs body(context) in a region that catches everything: a C++ exception, and
// a processor fault on this thread (illegal or privileged instruction, access
// violation and the like), which abandons the body where it happened. Returns
// true when the body completed, false when anything was caught. Nothing is
// reported. Local objects of an abandoned body are not destroyed.
bool CxRunCatchingAll(void (*body)(void*), void* context);

#endif
