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

#define IDM_ABOUT 0x0010 // command id of the system-menu entry

#define IDC_CONFIGURE 1000   // "&Configure..."
#define IDC_ABOUT_CODEC 1001 // "&About Codec..."

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
