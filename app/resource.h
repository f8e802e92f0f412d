// resource.h - identifiers of the launcher's resources and commands.
#ifndef FERROTUNE_RESOURCE_H
#define FERROTUNE_RESOURCE_H

#define IDD_ABOUT 100      // About box template
#define IDS_ABOUT_MENU 101 // "&About Ferrotune...", the system-menu entry
#define IDD_LAUNCHER 102   // main dialog template
// The "Codec not detected" box (missingcodec.cpp). %1..%4 are the texts the
// decision gives; after each, what they are.
#define IDS_CODEC_32BIT_ONLY 103                 // alone: a 64-bit program, the codec only for 32-bit programs
#define IDS_CODEC_NOT_DETECTED 104               // the usual sentence, alone or before one of the others
#define IDS_CODEC_64BIT_ONLY 105                 // alone: a 32-bit program, the codec only for 64-bit programs
#define IDS_CODEC_TOO_LONG 106                   // %1 the registry value's length
#define IDS_CODEC_NOT_TEXT 107                   //
#define IDS_CODEC_EMPTY 108                      //
#define IDS_CODEC_QUOTED 109                     // %1 the registered value
#define IDS_CODEC_UNEXPANDED 110                 // %1 the registered name, %2 with its %NAME%s replaced
#define IDS_CODEC_NO_FILE_NAMED 111              // %1 the registered name, %2 system folder, %3 Windows folder
#define IDS_CODEC_NO_FILE_AT_PATH 112            // %1 the registered path
#define IDS_CODEC_NO_FILE_BEFORE_SPACE 113       // %1 the registered value, %2 the text before its first space
#define IDS_CODEC_32BIT_IN_SYSTEM32 114          // %1 the file, %2 the system folder of 32-bit programs
#define IDS_CODEC_64BIT_IN_SYSWOW64 115          // %1 the file, %2 the system folder of 64-bit programs
#define IDS_CODEC_FILE_IS_FOLDER 116             // %1 the folder
#define IDS_CODEC_FILE_UNREADABLE 117            // %1 the file, %2 the system's reason
#define IDS_CODEC_FILE_NOT_DLL 118               // %1 the file, here and below
#define IDS_CODEC_FILE_16BIT 119                 //
#define IDS_CODEC_FILE_PROGRAM 120               //
#define IDS_CODEC_FILE_ASSEMBLY 121              //
#define IDS_CODEC_32BIT_DLL 122                  // the codec also installed for 32-bit programs
#define IDS_CODEC_32BIT_DLL_WRONG_KIND 123       // and not
#define IDS_CODEC_64BIT_DLL 124                  // the codec also installed for 64-bit programs
#define IDS_CODEC_64BIT_DLL_WRONG_KIND 125       // and not
#define IDS_CODEC_64BIT_DLL_ON_32BIT_WINDOWS 126 //
#define IDS_CODEC_OTHER_PROCESSOR 127            //
#define IDS_CODEC_NO_DRIVERPROC 129              //
#define IDS_CODEC_DLL_MISSING 130                // %2 the DLL the codec needs
#define IDS_CODEC_DLL_MISSING_INDIRECT 131       // %2 the DLL %3 needs
#define IDS_CODEC_DLL_UNUSABLE 132               // %2 the DLL %3 needs, %4 the file found for it
#define IDS_CODEC_LEADING_BLANK 133              // %2 the registered value
#define IDS_CODEC_REFUSED_SPACE 134              // %2 the registered value
#define IDS_CODEC_REFUSED 135                    //
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
