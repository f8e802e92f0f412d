// crashreport.h - the box of a codec that crashed, and the end of the process.
//
// The process that reports is damaged: the faulting thread may hold the
// heap's lock or the loader's, have no stack left, or fault again. So all the
// report needs is made before the codec is first called (PrepareCrashReport):
// the texts, the registered names of the codec's file, two threads that wait,
// and the events that wake them. At the crash the faulting thread only
// records the facts, wakes them and waits for good: the reporting thread
// shows the box, and a deadline thread, which uses nothing but kernel waits,
// ends the process with kCodecCrashExitCode when the box is not up within
// kBoxDeadlineMs. Every answer to the box ends the process too.
#ifndef FERROTUNE_CRASHREPORT_H
#define FERROTUNE_CRASHREPORT_H

#include "compressor.h"

#include <windows.h>

// How long the box may take to show and paint after a crash before the
// process ends without it. A desktop shows it in a fraction of a second; the
// emulated test machines take about half a second, and up to five when their
// host is busy.
const DWORD kBoxDeadlineMs = 10000;

// The codec's module: the one loaded under a name that the codec is
// registered with (as PrepareCrashReport read it); null when none is. Once
// found it is kept, so that a crash later needs no look-up.
HMODULE CodecModule();

// Whether a crash is being reported.
bool CrashReportUnderWay();

// Reports the exception, raised in the codec's code during step, on the
// faulting thread, which never goes on. An exception raised while a crash is
// reported only makes sure the report goes on, and waits for the end.
[[noreturn]] void ReportCrash(CodecStep step, const EXCEPTION_RECORD& record);

#endif
