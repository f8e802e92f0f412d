// traceformat_snippet - compiled by traceformat_test.cmake: each function
// named Reject... hands a trace call a conversion that Windows XP's msvcrt
// cannot print and must not compile; PrintSixtyFourBits must.
#include "lumaret.h"

#include <stddef.h>

void RejectSize(size_t size)
{
    LumaretTrace("%zu bytes\n", size);
}

void RejectLongLong(long long value)
{
    LumaretTrace("%lld %s\n", value, "bytes");
}

void RejectUnsignedLongLong(unsigned long long value)
{
    LumaretTrace("%-8llu bytes\n", value);
}

void RejectWriteSize(va_list args)
{
    CxTrace::Write(CXTRACE_MESSAGE, "%zu bytes\n", args);
}

void PrintSixtyFourBits(long long value, unsigned long long size)
{
    LumaretTrace("%I64d %-8I64u %08I64x %s\n", value, size, size, "bytes");
}
