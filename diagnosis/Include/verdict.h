// verdict.h - what a diagnosis comes to, as one short word and an exit code.
// Scripts read both: they never change meaning, and a new cause gets a new
// word and a new code.
#ifndef FERROTUNE_VERDICT_H
#define FERROTUNE_VERDICT_H

#include "decision.h"

#include <windows.h>

// The exit code of a process that a codec's crash ended, and of a check that
// found the codec crashing.
const int kCodecCrashExitCode = 0xC0DE;

struct Verdict {
    const WCHAR* word;
    int exitCode;
};

extern const Verdict kVerdictUsable;  // the codec opened
extern const Verdict kVerdictCrashed; // the codec crashed while it was called; its exit code is the crash's

// The verdict on a codec that did not open, from what the box says of it.
Verdict VerdictOf(const CodecFacts& facts, const Diagnosis& diagnosis);
// The verdict on the codec as the other kind of program finds it, which this
// program cannot open: "complete" for a codec of that kind with everything
// the file shows, else the cause as for this program's codec.
Verdict OtherKindVerdict(const OtherKindFacts& other);

#endif
