// corelibbench - the cost of one trace call and of the library's first-time
// initialisation (median nanoseconds), and heap allocations per trace call.
#include "lumaret.h"

#include <algorithm>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

static long s_allocations = 0;

void* operator new(size_t size)
{
    ++s_allocations;
    void* block = malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }

namespace {

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1e9 * now.QuadPart / frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main()
{
    const int batches = 51, perBatch = 200;
    std::vector<double> traceNs;
    for (int batch = 0; batch < batches; ++batch) {
        double start = Now();
        for (int i = 0; i < perBatch; ++i)
            LumaretTrace("bench %d %s\n", i, "line");
        traceNs.push_back((Now() - start) / perBatch);
    }

    long before = s_allocations;
    const int counted = 1000;
    for (int i = 0; i < counted; ++i)
        LumaretTrace("bench %d\n", i);
    double allocationsPerTrace = double(s_allocations - before) / counted;

    std::vector<double> initNs;
    for (int run = 0; run < 51; ++run) {
        double start = Now();
        unsigned long result = LumaretInitialize();
        initNs.push_back(Now() - start);
        if (result != 0) {
            fprintf(stderr, "LumaretInitialize failed: %#lx\n", result);
            return 1;
        }
        LumaretUninitialize();
    }

    printf("one trace call (debugger output, no debugger attached): median %.0f ns\n", Median(traceNs));
    printf("heap allocations per trace call: %.2f\n", allocationsPerTrace);
    printf("LumaretInitialize first-time work: median %.0f ns\n", Median(initNs));
    return 0;
}
