// traceformat_snippet - must not compile (traceformat_test.cmake): each
// function hands a trace call a conversion that msvcrt's printf lacks.
#include "lumaret.h"

#include <stddef.h>

void TraceSize(size_t size)
{
    LumaretTrace("%zu bytes\n", size);
}

void WriteSize(va_list args)
{
    CxTrace::Write(CXTRACE_MESSAGE, "%zu bytes\n", args);
}
