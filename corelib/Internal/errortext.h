// errortext.h - the catalogue's lookup without allocation, for a report that
// must not make heap strings.
#ifndef LUMARET_INTERNAL_ERRORTEXT_H
#define LUMARET_INTERNAL_ERRORTEXT_H

// True for the facilities whose text the system's message table gives (4 and 7).
bool CxIsSystemErrorFacility(unsigned long flags);

// The catalogue's constant text for a flag word's facility and a code; null
// for the system facilities.
const char* CxFixedErrorText(unsigned long flags, unsigned long code);

#endif
