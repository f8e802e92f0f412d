// callchain - whose code raised an exception, and the first handler that the
// dispatcher would call for it, read from the stack.
#include "callchain.h"

// The program's own module, as the linker places it: no call needed.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// Frames looked at before a search gives up: far more than the calls between
// the program and a fault in the codec.
const int kMostFrames = 256;

// The thread's information block, which points to itself (NtCurrentTeb, whose
// header form GCC 12 mistakes for an access out of bounds).
const NT_TIB* ThreadInfo()
{
    const NT_TIB* tib;
#if defined(_WIN64)
    asm("movq %%gs:0x30, %0" : "=r"(tib));
#else
    asm("movl %%fs:0x18, %0" : "=r"(tib));
#endif
    return tib;
}

// Whether address lies in this thread's stack.
bool OnStack(const void* address)
{
    const NT_TIB* tib = ThreadInfo();
    return address >= tib->StackLimit && address < tib->StackBase;
}

const IMAGE_NT_HEADERS* Headers(HMODULE module)
{
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    return reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
}

HMODULE Program()
{
    return reinterpret_cast<HMODULE>(&__ImageBase);
}

Culprit CulpritAt(const void* address, HMODULE codec)
{
    if (InImage(Program(), address))
        return CULPRIT_PROGRAM;
    if (InImage(codec, address))
        return CULPRIT_CODEC;
    return CULPRIT_UNKNOWN;
}

#if defined(_WIN64)
// Moves context one frame outward, to the caller; the frame's exception
// handler into handler (null: none). False when the stack ends there or the
// unwinding leaves the stack.
bool Unwind(CONTEXT* context, const void** handler)
{
    *handler = nullptr;
    const DWORD64 rsp = context->Rsp;
    if (!OnStack(reinterpret_cast<const void*>(rsp)))
        return false;
    DWORD64 base = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(context->Rip, &base, nullptr);
    if (entry != nullptr) {
        void* data = nullptr;
        DWORD64 establisher = 0;
        *handler = reinterpret_cast<const void*>(
            RtlVirtualUnwind(UNW_FLAG_EHANDLER, base, context->Rip, entry, context, &data, &establisher, nullptr));
    } else {
        // A function without unwind information is a leaf: it has not moved
        // the stack pointer, which points at its return address.
        context->Rip = *reinterpret_cast<const DWORD64*>(rsp);
        context->Rsp = rsp + 8;
    }
    return context->Rip != 0 && context->Rsp > rsp &&
           context->Rsp <= reinterpret_cast<DWORD64>(ThreadInfo()->StackBase);
}
#else
// The start of the executable section of module that address lies in; null
// when it lies in none.
const BYTE* CodeSection(HMODULE module, const BYTE* address)
{
    const BYTE* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_NT_HEADERS* headers = Headers(module);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    const DWORD rva = address - base;
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        if ((section->Characteristics & IMAGE_SCN_MEM_EXECUTE) != 0 && rva >= section->VirtualAddress &&
            rva - section->VirtualAddress < section->Misc.VirtualSize)
            return base + section->VirtualAddress;
    }
    return nullptr;
}

// Whether the bytes before address, which lie in the code that starts at
// code, end with a CALL instruction: E8 and a 32-bit offset, or FF /2 with a
// register or any memory operand (ModRM, perhaps a SIB byte, perhaps a
// displacement), as compilers call imports, pointers and virtual functions.
bool FollowsCall(const BYTE* address, const BYTE* code)
{
    if (code == nullptr)
        return false;
    if (address - 5 >= code && address[-5] == 0xE8)
        return true;
    for (int length = 2; length <= 7 && address - length >= code; ++length) {
        const BYTE* call = address - length;
        if (call[0] != 0xFF || (call[1] & 0x38) != 0x10)
            continue;
        const int mod = call[1] >> 6;
        const int rm = call[1] & 7;
        int size = 2;
        if (mod != 3 && rm == 4) {
            if (length < 3)
                continue;
            size += (mod == 0 && (call[2] & 7) == 5) ? 5 : 1;
        } else if (mod == 0 && rm == 5) {
            size += 4;
        }
        size += mod == 1 ? 1 : mod == 2 ? 4 : 0;
        if (size == length)
            return true;
    }
    return false;
}
#endif

} // namespace

bool InImage(HMODULE module, const void* address)
{
    if (module == nullptr)
        return false;
    const ULONG_PTR offset = static_cast<const BYTE*>(address) - reinterpret_cast<const BYTE*>(module);
    return offset < Headers(module)->OptionalHeader.SizeOfImage;
}

#if defined(_WIN64)
// The unwinder follows the frames as the dispatcher does.
Culprit Blame(const CONTEXT& fault, HMODULE codec, const void* outermost)
{
    CONTEXT context = fault;
    for (int frame = 0; frame < kMostFrames; ++frame) {
        const Culprit culprit = CulpritAt(reinterpret_cast<const void*>(context.Rip), codec);
        const void* handler = nullptr;
        if (culprit != CULPRIT_UNKNOWN)
            return culprit;
        if ((outermost != nullptr && context.Rsp >= reinterpret_cast<DWORD64>(outermost)) ||
            !Unwind(&context, &handler))
            break;
    }
    return CULPRIT_UNKNOWN;
}

const void* FirstHandler(const CONTEXT& fault)
{
    CONTEXT context = fault;
    const EXCEPTION_REGISTRATION_RECORD* registered = ThreadInfo()->ExceptionList;
    for (int frame = 0; frame < kMostFrames; ++frame) {
        const void* handler = nullptr;
        const bool more = Unwind(&context, &handler);
        if (handler != nullptr)
            return handler;
        // Wine's own code registers its handlers in the thread's list even on
        // x64, and its dispatcher calls one after each frame without a handler
        // of its own when it lies below the caller's stack pointer. Windows
        // keeps the list empty on x64.
        if (more && OnStack(registered) && reinterpret_cast<DWORD64>(registered) < context.Rsp)
            return reinterpret_cast<const void*>(registered->Handler);
        if (!more)
            break;
    }
    return nullptr;
}
#else
// There is no reliable unwinding on x86: code compiled without frame
// pointers leaves no chain to follow, and there are no unwind tables. So the
// stack is scanned, from the fault's stack pointer up to outermost, for the
// first word that looks like a return address into the program's or the
// codec's code: it points into an executable section of one of them, just
// after a CALL instruction. That is a guess, and it can be wrong: a word in a
// live frame that is no return address (a stale one left in an uninitialised
// variable, a saved pointer into code after a call) can stand before the
// real one, and a call that the scan does not decode (a far call, a jump
// through a pushed return address) is passed over.
Culprit Blame(const CONTEXT& fault, HMODULE codec, const void* outermost)
{
    const Culprit culprit = CulpritAt(reinterpret_cast<const void*>(fault.Eip), codec);
    if (culprit != CULPRIT_UNKNOWN || !OnStack(reinterpret_cast<const void*>(fault.Esp)))
        return culprit;
    const ULONG_PTR* end = static_cast<const ULONG_PTR*>(OnStack(outermost) ? outermost : ThreadInfo()->StackBase);
    for (const ULONG_PTR* slot = reinterpret_cast<const ULONG_PTR*>(fault.Esp); slot < end; ++slot) {
        const BYTE* address = reinterpret_cast<const BYTE*>(*slot);
        const Culprit found = CulpritAt(address, codec);
        if (found != CULPRIT_UNKNOWN &&
            FollowsCall(address, CodeSection(found == CULPRIT_PROGRAM ? Program() : codec, address)))
            return found;
    }
    return CULPRIT_UNKNOWN;
}

// The handlers registered on the thread's list (fs:[0]) from the innermost
// on; the first at or above the fault's stack pointer is the first the
// dispatcher calls (those below it were registered by the dispatch itself).
const void* FirstHandler(const CONTEXT& fault)
{
    const EXCEPTION_REGISTRATION_RECORD* record = ThreadInfo()->ExceptionList;
    for (int frame = 0; frame < kMostFrames && OnStack(record); ++frame, record = record->Next) {
        if (reinterpret_cast<ULONG_PTR>(record) >= fault.Esp)
            return reinterpret_cast<const void*>(record->Handler);
    }
    return nullptr;
}
#endif
