// missingcodec.h - the message box of a QV4Z compressor that does not open.
//
// Only after the compressor manager has opened nothing, CodecInstallation
// reads the installation where the manager and the loader look for it, and
// DecideCodecMessage picks what the box says from those facts alone, so that
// either kind of program can be judged in either build. CodecMissingMessage
// puts the box's text together from the program's string resources.
#ifndef FERROTUNE_MISSINGCODEC_H
#define FERROTUNE_MISSINGCODEC_H

#include "codecfile.h"

#include <windows.h>

struct CodecStartupFault;

// What the installation holds, as far as the compressor manager and the
// loader look. Texts are null where there is nothing to say.
struct CodecFacts {
    bool managerLoaded;        // the compressor manager was there and looked
    bool program64Bit;         // this is the 64-bit Ferrotune
    bool windows64Bit;         // Windows has programs of both kinds
    const WCHAR* registeredAs; // vidc.QV4Z of the program's own registry view, else of system.ini
    const WCHAR* tooLong;      // the length of a registry value longer than the manager reads (it then ignores it)
    bool notText;              // the value is a number or binary data
    // The name of the codec's file the value gives: the value without the
    // blanks around it, or, where only that names a file or neither does,
    // the text before its first space, which the manager may take alone.
    const WCHAR* fileName;
    bool leadingBlank;         // the value begins with a blank
    bool quoted;               // the value begins with a quotation mark
    bool spaceInside;          // the whole name, with a space in it, names the file found
    bool beforeSpace;          // fileName is the text before the first space
    const WCHAR* expanded;     // the name names nothing but holds %NAME%: with the names replaced
    const WCHAR* systemFolder; // the folders a name without a folder is looked for in
    const WCHAR* windowsFolder;
    FoundFile found;         // what the loader takes for fileName
    FoundFile misplaced;     // found is nothing and fileName has no folder: the file of that name in
                             // the other kind of program's system folder
    const WCHAR* unreadable; // found cannot be read: the system's words for why
    MissingDll missingDll;   // found is a codec: the first DLL it needs and cannot get
    bool otherUsable;        // the other kind's registry view has vidc.QV4Z and a codec of that kind
    // The codec crashed while starting (what VfwOpen saw, which the launcher
    // fills in; CodecInstallation leaves it null).
    const CodecStartupFault* startupFault;
};

// What the box says: string resource id (0: the usual sentence alone)
// standing alone or after the usual sentence, and the texts for %1..%4.
struct CodecMessage {
    UINT id;
    bool alone;
    const WCHAR* inserts[4];
};

CodecMessage DecideCodecMessage(const CodecFacts& facts);

// The file that the compressor manager loads for the registration it reads
// (the text before the value's first space), into file; false when there is
// none. It reads the registration only, nothing else.
bool RegisteredCodecFile(WCHAR file[MAX_PATH + 1]);

// Reads the facts from the system. It only reads, and it runs nothing of the
// codec's files; the texts live as long as the object.
class CodecInstallation {
public:
    explicit CodecInstallation(bool managerLoaded);
    const CodecFacts& Facts() const { return m_facts; }

private:
    void ReadRegistration();
    void FindFile();
    bool OtherKindHasCodec() const;

    DllSearch m_search; // this program's loader
    CodecFacts m_facts;
    // The manager reads at most MAX_PATH characters of the value.
    WCHAR m_value[MAX_PATH + 1];
    WCHAR m_name[MAX_PATH + 1];
    WCHAR m_expanded[MAX_PATH];
    WCHAR m_tooLong[12];
    WCHAR m_unreadable[256];
};

// The box's text for the facts, from the string resources of module.
// Inserts of any length are cut visibly.
class CodecMissingMessage {
public:
    CodecMissingMessage(const CodecFacts& facts, HINSTANCE module);
    const char* Text() const { return m_text; }

private:
    char m_text[2048];
};

#endif
