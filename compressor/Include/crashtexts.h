// crashtexts.h - the string resources of the box of a codec that crashed;
// the program's resource script holds the texts. The box begins with one
// sentence of 160-164, by step.
#ifndef FERROTUNE_CRASHTEXTS_H
#define FERROTUNE_CRASHTEXTS_H

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

#endif
