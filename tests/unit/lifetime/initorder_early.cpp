// An initialiser of globals ordered before every default-priority one,
// the library's magic-word setter included.
#include "initorder.h"
#include "lumaret.h"

EarlyInitialisation::EarlyInitialisation()
{
    result = LumaretInitialize();
    countAfter = g_initCount;
}

EarlyInitialisation g_earlyInitialisation __attribute__((init_priority(101)));
