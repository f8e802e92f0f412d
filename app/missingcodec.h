// missingcodec.h - the message box of a QV4Z compressor that does not open.
//
// Only after the compressor manager has opened nothing, CodecInstallation
// reads the installation where the manager looks for it, and
// CodecMissingMessage turns what was found into the box's text. The text is
// a function of the facts alone, so either kind of program can be judged in
// either build.
#ifndef FERROTUNE_MISSINGCODEC_H
#define FERROTUNE_MISSINGCODEC_H

#include <windows.h>

struct CodecStartupFault;

// What the installation holds, as far as the compressor manager looks.
struct CodecFacts {
    bool managerLoaded;       // the compressor manager was there and looked
    bool program64Bit;        // this is the 64-bit Ferrotune
    bool registeredFor32Bit;  // vidc.QV4Z is in the 32-bit registry view (read by the 64-bit program only)
    const char* registeredAs; // vidc.QV4Z of the program's own registry view, else of system.ini; null: neither
    const char* fileName;     // its file: the text before the first space
    const char* systemFolder; // the system folder the loader searches (SysWOW64 for a 32-bit program on x64)
    const char* windowsFolder;
    const char* foundPath; // the file the loader takes; null when there is none
    WORD machine;          // the processor in that file's PE header; 0 when it is no PE file
    bool windows64Bit;     // Windows runs x64 programs here
    // The codec crashed while starting (what VfwOpen saw, which the launcher
    // fills in; CodecInstallation leaves it null); null: it did not.
    const CodecStartupFault* startupFault;
};

// Reads the facts from the system. It only reads, and it runs nothing of the
// codec's file; the texts live as long as the object.
class CodecInstallation {
public:
    explicit CodecInstallation(bool managerLoaded);
    ~CodecInstallation();
    CodecInstallation(const CodecInstallation&) = delete;
    CodecInstallation& operator=(const CodecInstallation&) = delete;
    const CodecFacts& Facts() const { return m_facts; }

private:
    CodecFacts m_facts;
    char* m_value; // LocalAlloc texts of registeredAs and fileName
    char* m_file;
    char m_systemFolder[MAX_PATH];
    char m_windowsFolder[MAX_PATH];
    char m_foundPath[MAX_PATH];
};

// The box's text for the facts, with the texts from the string resources of
// module: "Codec not detected..." alone when nothing is registered, string
// IDS_CODEC_32BIT_ONLY alone for a 64-bit program that finds the codec only
// in the 32-bit view, else that sentence and a paragraph saying why the
// registered codec does not open. Texts of any length are cut visibly.
class CodecMissingMessage {
public:
    CodecMissingMessage(const CodecFacts& facts, HINSTANCE module);
    ~CodecMissingMessage();
    CodecMissingMessage(const CodecMissingMessage&) = delete;
    CodecMissingMessage& operator=(const CodecMissingMessage&) = delete;
    // Never null: without memory for the whole text, the first sentence.
    const char* Text() const;

private:
    char* m_text; // LocalAlloc
};

#endif
