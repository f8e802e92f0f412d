// codecguard.h - the bracket around a call into the codec's code.
//
// CodecCall brackets the call with a frame-based exception handler: an
// exception that reaches it was taken by no handler nearer to the fault, so
// the codec has crashed, and the handler reports it (crashreport.h), unless
// the exception was raised in the program's own code, which it leaves to the
// system.
#ifndef FERROTUNE_CODECGUARD_H
#define FERROTUNE_CODECGUARD_H

#include "compressor.h"

#include <windows.h>

typedef LRESULT (*CodecCallBody)(void* context);

// body(context), bracketed as above; its result.
LRESULT CodecCall(CodecStep step, CodecCallBody body, void* context);

// Asks the system, where it offers them, for what reporting a crash needs;
// called once, on the thread that calls the codec, before the first call:
// - some 64-bit Windows versions catch an exception that a window procedure
//   raises inside a callback from the kernel and carry on as if nothing had
//   happened; this turns that off, so that a crash in the codec's dialog
//   procedure reaches CodecCall's handler too;
// - a stack overflow leaves the handler little stack; this keeps some back.
void PrepareForCodecCrashes();

#endif
