// trace - the trace sink: one line per call on the debugger output.
#include "lumaret.h"

#include <stdio.h>
#include <string.h>

unsigned long g_traceMask = 0xFFFFFFFFul;

namespace {

const size_t kBufferSize = 2048;
const size_t kMessageOffset = 1024; // the message is formatted into the second half

// The direction prefix is 9 characters wide and the kind prefix 12, so that
// trace columns line up.
const char* DirectionPrefix(unsigned long flags)
{
    if (flags & CXTRACE_ENTERING)
        return "Entering ";
    if (flags & CXTRACE_EXITING)
        return "Exiting  ";
    return "";
}

const char* KindPrefix(unsigned long flags)
{
    if (flags & CXTRACE_FUNCTION)
        return "Function    ";
    if (flags & CXTRACE_CONSTRUCTOR)
        return "Constructor ";
    if (flags & CXTRACE_DESTRUCTOR)
        return "Destructor  ";
    return "";
}

} // namespace

CxTrace::~CxTrace() {}

// Formats one trace line on the stack and hands it to the debugger output in
// one call. A message longer than 1023 characters is cut there.
void CxTrace::Write(unsigned long flags, const char* format, va_list args)
{
    if ((flags & g_traceMask) == 0)
        return;

    char buffer[kBufferSize];
    char* message = buffer + kMessageOffset;

    strcpy(buffer, "Trace: ");
    strcat(buffer, DirectionPrefix(flags));
    strcat(buffer, KindPrefix(flags));

    // The system C runtime's formatter (msvcrt), not the 27 KB copy that
    // mingw-w64 links in for vsnprintf. It returns -1 for a cut message and
    // leaves it unterminated: what was written stays, ended by the buffer's
    // last byte.
    message[0] = '\0';
    _vsnprintf(message, kBufferSize - kMessageOffset, format, args);
    buffer[kBufferSize - 1] = '\0';

    // The prefix is at most 28 characters, so the move stays inside the buffer.
    memmove(buffer + strlen(buffer), message, strlen(message) + 1);
    OutputDebugStringA(buffer);
}

// printf-style trace with CXTRACE_MESSAGE; needs no sink object. The name is
// parenthesised because lumaret.h makes it a macro that checks each call's format.
void(LumaretTrace)(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    CxTrace::Write(CXTRACE_MESSAGE, format, args);
    va_end(args);
}
