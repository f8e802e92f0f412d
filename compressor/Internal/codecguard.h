// codecguard.h - the bracket around a call into the codec's code.
//
// CodecCall brackets the call with a frame-based exception handler: an
// exception that reaches it was taken by no handler nearer to the fault, so
// something has crashed. The handler reports the codec's crash
// (crashreport.h) unless the calling frames show that the program's own code
// raised it (callchain.h), which it leaves to the system.
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
// - a stack overflow leaves the handler little stack; this keeps some back;
// - an exception that escapes every frame-based handler while a call into
//   the codec is in progress, on any thread, is reported as the codec's when
//   its frames say so (an unhandled-exception filter, in front of the one
//   that was there before).
void PrepareForCodecCrashes();

#endif
