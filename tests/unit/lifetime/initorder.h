// What an initialiser of globals saw when it ran before the library's own.
#ifndef FERROTUNE_TESTS_INITORDER_H
#define FERROTUNE_TESTS_INITORDER_H

struct EarlyInitialisation {
    EarlyInitialisation();
    unsigned long result;
    unsigned long countAfter;
};
extern EarlyInitialisation g_earlyInitialisation;

#endif
