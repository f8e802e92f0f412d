// compressor.h - the QV4Z compressor, reached through the system's compressor
// manager, every call into its code under a crash guard.
//
// msvfw32.dll is not one of Windows' known DLLs: a static import would let a
// DLL of that name beside the program (a downloads folder, say) be loaded in
// its place. ICOpen, ICSendMessage and ICClose are reached through these
// functions instead, which load the system's copy at first use.
//
// The manager runs the codec's code inside each of them. An exception raised
// there that no handler of the codec's own takes ends the program with a box
// that names the codec, the step and the fault, and the exit code
// kCodecCrashExitCode; one raised in the program's own code is left to the
// system, so that a fault of ours is reported as ours.
#ifndef FERROTUNE_COMPRESSOR_H
#define FERROTUNE_COMPRESSOR_H

#include "installation.h"
#include "verdict.h"

#include <windows.h>

#include <vfw.h>

// What the program is asking of the codec.
enum CodecStep {
    CODEC_OPENING,       // ICOpen: the manager loads the codec and opens it
    CODEC_ANSWERING,     // which dialogs it offers
    CODEC_CONFIGURING,   // its settings dialog
    CODEC_SHOWING_ABOUT, // its About box
    CODEC_CLOSING,       // ICClose
};

// A crash, for a report that is written instead of shown.
struct CrashDescription {
    CodecStep step;
    const WCHAR* code;      // the exception code, "0xC0000005"
    const WCHAR* module;    // the file of the module it was raised in; "" when it lies in none
    const WCHAR* offset;    // its offset in that module, "0x00001A2B"; the address itself without one
    const WCHAR* codecFile; // the codec's file; "" when it is not known
    const WCHAR* text;      // the box's text
};
// Called on the reporting thread in place of the box, in the damaged
// process: it must need no heap and no lock. The process ends with
// kCodecCrashExitCode when it returns, or at the report's deadline.
typedef void (*CrashSink)(const CrashDescription& crash);

// Makes ready what the box of a crash needs, before the first call into the
// codec (crashreport.h): its texts from texts (crashtexts.h), its caption
// (which lives as long as the process), the window that owns it, the names
// the codec is registered with, and the threads that show it; with a sink,
// the sink is called in place of the box. Once.
void PrepareCrashReport(HINSTANCE texts, const WCHAR* caption, HWND owner, CrashSink sink = nullptr);

// ICOpen of the system's compressor manager; null when the manager cannot be
// loaded, which the program treats like a compressor that is not installed.
HIC VfwOpen(DWORD type, DWORD handler, UINT mode);
// Whether the compressor manager is loaded (after the first VfwOpen).
bool VfwLoaded();
// ICSendMessage, for the step it is part of; ICERR_UNSUPPORTED when the
// manager is not loaded.
LRESULT VfwSendMessage(HIC hic, UINT message, DWORD_PTR param1, DWORD_PTR param2, CodecStep step);
// ICClose; nothing when the manager is not loaded.
void VfwClose(HIC hic);
// What the last VfwOpen saw when it opened nothing: the first exception that
// its thread raised while the codec started and that no handler but the
// loader's was there to take; null when there was none.
const StartupCrash* VfwStartupCrash();

#endif
