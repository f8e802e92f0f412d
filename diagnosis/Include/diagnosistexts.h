// diagnosistexts.h - the string resources that the diagnosis's messages are
// made of. The program's resource script holds the texts; %1..%6 are the
// texts the decision gives, after each what they are. An insert may itself be
// one of these strings (one whose %-numbers take the same inserts).
#ifndef FERROTUNE_DIAGNOSISTEXTS_H
#define FERROTUNE_DIAGNOSISTEXTS_H

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
#define IDS_CODEC_FUNCTION_NEWER_WINDOWS 136     // %2 the function %3 of Windows lacks, %4 the DLL that needs it
#define IDS_CODEC_FUNCTION_OTHER_VERSION 137     // and %5 the file found for %3
#define IDS_CODEC_FUNCTION_SHADOWING 138         // the same, the file found being ahead of the system folder's
#define IDS_CODEC_RUNTIME_MISSING 139            // %2 the DLL, %4 its package (one of 150-158), %5 x86 or x64
#define IDS_CODEC_ASSEMBLY_MISSING 140           // %2 the side-by-side assembly, %3 the DLL whose manifest names it
#define IDS_CODEC_ASSEMBLY_RUNTIME_MISSING 141   // %2 the assembly, %4 its package, %5 x86 or x64
#define IDS_CODEC_ASSEMBLIES_UNRESOLVED 142      // %2 the assemblies, %3 the DLL whose manifest names them
#define IDS_CODEC_UNCHECKED 143                  // %2 what could not be checked (one of 144-146), %3 its name
#define IDS_UNCHECKED_DEEPER 144                 //
#define IDS_UNCHECKED_UNREADABLE 145             // %3 the file
#define IDS_UNCHECKED_APISET 146                 // %3 the API-set name
#define IDS_CODEC_TOO_LONG_CUT 147               // %1 the registry value's length (Windows NT)
#define IDS_CODEC_CRASH_MISSING_FUNCTION 148     // the crash box: %1 the function, %2 its DLL
#define IDS_RUNTIME_VC2005 150                   // the packages, %5 x86 or x64
#define IDS_RUNTIME_VC2008 151                   //
#define IDS_RUNTIME_VC2010 152                   //
#define IDS_RUNTIME_VC2012 153                   //
#define IDS_RUNTIME_VC2013 154                   //
#define IDS_RUNTIME_VC2015 155                   //
#define IDS_RUNTIME_UCRT 156                     //
#define IDS_RUNTIME_DIRECTX 157                  //
#define IDS_RUNTIME_DISPLAY_DRIVER 158           //
#define IDS_CODEC_CRASHED_STARTING 171           // %2 exception code, %3 module+offset

#endif
