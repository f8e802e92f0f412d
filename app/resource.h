// resource.h - identifiers of the launcher's resources and commands.
#ifndef FERROTUNE_RESOURCE_H
#define FERROTUNE_RESOURCE_H

#define IDD_ABOUT 100            // About box template
#define IDS_ABOUT_MENU 101       // "&About Ferrotune...", the system-menu entry
#define IDD_LAUNCHER 102         // main dialog template
#define IDS_CODEC_32BIT_ONLY 103 // 64-bit program: the codec is installed for 32-bit programs only
// Why a registered codec does not open: a paragraph after "Codec not detected...".
#define IDS_CODEC_NO_FILE_NAMED 104              // %1 registered name, %2 system folder, %3 Windows folder
#define IDS_CODEC_NO_FILE_AT_PATH 105            // %1 registered path
#define IDS_CODEC_NO_FILE_BEFORE_SPACE 106       // %1 registered value, %2 the file part before its first space
#define IDS_CODEC_32BIT_DLL 107                  // %1 the file found
#define IDS_CODEC_64BIT_DLL 108                  // %1 the file found
#define IDS_CODEC_64BIT_DLL_ON_32BIT_WINDOWS 109 // %1 the file found
#define IDS_CODEC_OTHER_PROCESSOR 110            // %1 the file found
#define IDS_CODEC_DID_NOT_START 111              // %1 the file found
#define IDI_APP 128                              // application icon: 32x32 and 16x16, 16 colours

// A codec that crashed (codeccrash.cpp), and one that crashed while starting (a paragraph of the
// "Codec not detected" box). The crash box begins with one sentence of 160-164, by step.
#define IDS_CODEC_CRASHED_OPENING 160       // ICOpen
#define IDS_CODEC_CRASHED_ANSWERING 161     // the capability questions
#define IDS_CODEC_CRASHED_CONFIGURING 162   // the settings dialog
#define IDS_CODEC_CRASHED_ABOUT 163         // the About box
#define IDS_CODEC_CRASHED_CLOSING 164       // ICClose
#define IDS_CODEC_CRASH_FILE 165            // %1 the codec's file
#define IDS_CODEC_CRASH_IN_CODEC 166        // %2 exception code, %3 offset
#define IDS_CODEC_CRASH_IN_OTHER_MODULE 167 // %2 exception code, %3 offset, %4 that module's file
#define IDS_CODEC_CRASH_IN_MODULE 168       // the codec's file is not known: %2 code, %3 offset, %4 module's file
#define IDS_CODEC_CRASH_IN_NO_MODULE 169    // %2 exception code, %3 address
#define IDS_CODEC_CRASH_CLOSING 170         // the program closes, and what to do
#define IDS_CODEC_CRASHED_STARTING 171      // %1 the file found, %2 exception code, %3 module+offset

#define IDM_ABOUT 0x0010 // command id of the system-menu entry

#define IDC_CONFIGURE 1000   // "&Configure..."
#define IDC_ABOUT_CODEC 1001 // "&About Codec..."

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
