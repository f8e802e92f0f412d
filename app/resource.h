// resource.h - identifiers of the launcher's resources and commands.
#ifndef FERROTUNE_RESOURCE_H
#define FERROTUNE_RESOURCE_H

// The texts of the box of a codec that does not open (103-135, 171) and of
// one that crashed (160-170) are the libraries' own messages.
#include "crashtexts.h"
#include "diagnosistexts.h"

#define IDD_ABOUT 100      // About box template
#define IDS_ABOUT_MENU 101 // "&About Ferrotune...", the system-menu entry
#define IDD_LAUNCHER 102   // main dialog template
#define IDI_APP 128        // application icon: 32x32 and 16x16, 16 colours

#define IDM_ABOUT 0x0010 // command id of the system-menu entry

#define IDC_CONFIGURE 1000   // "&Configure..."
#define IDC_ABOUT_CODEC 1001 // "&About Codec..."

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
