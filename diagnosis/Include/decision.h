// decision.h - what the box of a codec that did not open says, decided from
// the installation's facts alone, so that either kind of program can be
// judged in either build.
#ifndef FERROTUNE_DECISION_H
#define FERROTUNE_DECISION_H

#include "installation.h"

#include <windows.h>

// The message: a string resource (diagnosistexts.h; 0: the usual sentence
// alone), whether it stands alone or after the usual sentence, and the texts
// for its %1..%6 (null: none; MAKEINTRESOURCEW: another string resource),
// which live as long as the facts.
struct Diagnosis {
    UINT message;
    bool alone;
    const WCHAR* inserts[6];
};

Diagnosis Diagnose(const CodecFacts& facts);

#endif
