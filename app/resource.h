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

// Without the dialog (commands.cpp).
#define IDS_USAGE 180                   // /?, and a command line that is wrong
#define IDS_REPORT_NOT_WRITTEN 181      // /check: the standard output failed; the system's reason follows
#define IDS_REPORT_FILE_NOT_WRITTEN 182 // /check /out: %1 the file; the system's reason follows
#define IDS_CODEC_NO_SETTINGS 183       // /configure: the codec offers no settings dialog
#define IDS_CODEC_NO_ABOUT_BOX 184      // /about: the codec offers no About box

#define IDM_ABOUT 0x0010 // command id of the system-menu entry

#define IDC_CONFIGURE 1000   // "&Configure..."
#define IDC_ABOUT_CODEC 1001 // "&About Codec..."

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
