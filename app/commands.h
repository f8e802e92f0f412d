// commands.h - what the program does without its dialog: /check's report,
// one of the codec's own dialogs for /configure and /about, the usage; and
// the box of a codec that does not open, which the dialog shows too.
#ifndef FERROTUNE_COMMANDS_H
#define FERROTUNE_COMMANDS_H

#include <windows.h>

#include <vfw.h>

// The compressor: type "VIDC" in upper case (ICTYPE_VIDEO is the lower-case
// form, which is not what the compressor is registered under), handler "QV4Z".
const DWORD kCompressorType = mmioFOURCC('V', 'I', 'D', 'C');
const DWORD kCompressorHandler = mmioFOURCC('Q', 'V', '4', 'Z');

// Exit codes of the program's own; the verdicts' are in verdict.h (README).
const int kExitBadCommandLine = 2;   // /? was not all: the usage is shown
const int kExitReportNotWritten = 3; // /check could not write its report
const int kExitAlreadyRunning = 4;   // /configure or /about while a copy runs: it is brought forward
const int kExitNoSuchDialog = 24;    // /configure or /about: the codec offers no such dialog

// Whether the open compressor offers the dialog of the capability question
// message (ICM_CONFIGURE or ICM_ABOUT), asked with -1 and the query flag.
bool CompressorOffers(HIC hic, UINT message);

// Says in a box, owned by owner, what keeps the codec from opening; returns
// the exit code of that verdict.
int ShowCodecMissing(HWND owner);

// /check: does to the codec what a start does (opens it, asks which dialogs
// it offers, closes it, under the same guard), gathers the installation's
// facts, and writes the report to out (empty: the standard output or the
// console). Returns the exit code.
int RunCheck(const WCHAR* out);
// /configure and /about: the codec's settings dialog or its About box,
// without the program's own dialog. Returns the exit code.
int RunCodecDialog(bool about);
// The usage, to the standard output or the console, or in a box when there is
// neither. Returns the exit code: 0, or kExitBadCommandLine when the command
// line was wrong.
int ShowUsage(bool badCommandLine);

#endif
