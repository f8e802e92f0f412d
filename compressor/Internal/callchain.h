// callchain.h - the calls that led to an exception, read from the stack as it
// was when the exception was raised: whose code is to blame for it, and the
// first frame-based handler that the system's dispatcher would call for it.
//
// Nothing here uses the heap, a lock or the loader: only the stack, the
// modules' headers in memory and the system's unwinder (64-bit), so that a
// handler can use it in a damaged process.
#ifndef FERROTUNE_CALLCHAIN_H
#define FERROTUNE_CALLCHAIN_H

#include <windows.h>

// Whether address lies in module's image (null: in none).
bool InImage(HMODULE module, const void* address);

enum Culprit {
    CULPRIT_UNKNOWN, // no frame of the program's or the codec's code was found
    CULPRIT_PROGRAM, // the program's own code, or a system DLL it called
    CULPRIT_CODEC,   // the codec's code, or a system DLL it called
};

// Whose code raised the exception at fault: the first frame, from the fault
// outward, whose code lies in the program's module or in codec's. The
// search ends at outermost (an address on the stack; null: the stack's base).
Culprit Blame(const CONTEXT& fault, HMODULE codec, const void* outermost);

// The first frame-based exception handler that the dispatcher calls for an
// exception raised at fault on this thread; null when there is none.
const void* FirstHandler(const CONTEXT& fault);

#endif
