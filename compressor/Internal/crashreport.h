// crashreport.h - the box of a codec that crashed, and the end of the process.
#ifndef FERROTUNE_CRASHREPORT_H
#define FERROTUNE_CRASHREPORT_H

#include "compressor.h"

#include <windows.h>

// Reports the exception, raised in the codec's code during step, on the
// faulting thread, which never goes on: the process ends with
// kCodecCrashExitCode once the box is answered.
[[noreturn]] void ReportCrash(CodecStep step, const EXCEPTION_RECORD& record);

#endif
