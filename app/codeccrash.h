// codeccrash.h - calls into the codec's own code, and the box when that code
// crashes.
//
// The compressor manager runs the codec's code inside ICOpen, ICSendMessage
// and ICClose. CodecCall brackets such a call with a frame-based exception
// handler: an exception that reaches it was caught by no handler of the
// codec's own, so the codec has crashed. The handler stops the faulting thread
// where it is, and a new thread, with a stack of its own, shows one box that
// names the codec, the step and the fault, and then ends the process with
// kCodecCrashExitCode. Nothing else runs in the damaged process. An exception
// raised in the program's own code passes on to the system's crash handling,
// so that a fault of ours is reported as ours.
#ifndef FERROTUNE_CODECCRASH_H
#define FERROTUNE_CODECCRASH_H

#include <windows.h>

// The exit code of a process that a codec's crash ended (README).
const UINT kCodecCrashExitCode = 0xC0DE;

// What the program was asking of the codec.
enum CodecStep {
    CODEC_OPENING,       // ICOpen: the manager loads the codec and opens it
    CODEC_ANSWERING,     // which dialogs it offers
    CODEC_CONFIGURING,   // its settings dialog
    CODEC_SHOWING_ABOUT, // its About box
    CODEC_CLOSING,       // ICClose
};

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

// Where an exception was raised, as the boxes say it.
struct CodecFault {
    HMODULE module;      // the module the address lies in; null when it lies in none
    char code[11];       // the exception code, "0xC0000005"
    char file[MAX_PATH]; // that module's file; "" when there is none
    char offset[19];     // the address's offset in that module, "0x00001A2B"; the address itself without one
};
void DescribeFault(const EXCEPTION_RECORD& record, CodecFault* fault);

#endif
