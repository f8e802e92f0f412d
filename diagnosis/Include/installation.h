// installation.h - what the installation of a QV4Z codec holds, as far as the
// compressor manager and the loader look, read after the manager has tried to
// open it. It is only read: nothing of the codec's files is run.
#ifndef FERROTUNE_INSTALLATION_H
#define FERROTUNE_INSTALLATION_H

#include "dllsearch.h"
#include "registration.h"

#include <windows.h>

// A processor exception raised while the codec started (its DLL's start-up,
// which the loader runs as the manager loads it), which the loader caught
// and turned into a failed load.
struct StartupCrash {
    WCHAR code[11];             // the exception code, "0xC0000005"
    WCHAR where[MAX_PATH + 12]; // the module's file name and the offset in it, "qv4z.dll+0x00001A2B"
    WCHAR module[MAX_PATH];     // that module's file; "" when the address lies in none
    WCHAR offset[19];           // the offset, "0x00001A2B"; the address itself without a module
};

// The facts. Texts are null where there is nothing to say.
struct CodecFacts {
    bool managerLoaded;        // the compressor manager was there and looked
    bool program64Bit;         // this is the 64-bit Ferrotune
    bool windows64Bit;         // Windows has programs of both kinds
    WORD nativeMachine;        // the processor Windows is built for (IMAGE_FILE_MACHINE_ARM64: Windows on ARM)
    const WCHAR* registeredAs; // vidc.QV4Z of the program's own registry view, else of system.ini
    const WCHAR* tooLong;      // the length of a registry value longer than the manager reads (it then ignores it)
    bool sectionMapped;        // system.ini's [drivers32] is that same registry key (Windows NT): the manager
                               // reads a value too long for it cut short
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
    FoundFile found;                  // what the loader takes for fileName
    FoundFile misplaced;              // found is nothing and fileName has no folder: the file of that name in
                                      // the other kind of program's system folder
    const WCHAR* unreadable;          // found cannot be read: the system's words for why
    MissingDll missingDll;            // found is a codec: the first DLL it needs and cannot get, and what
                                      // could not be checked
    bool otherUsable;                 // the other kind's registry view has vidc.QV4Z and a codec of that kind
    const StartupCrash* startupCrash; // the codec crashed while starting
};

// The codec as the other kind of program finds it (32-bit for the 64-bit
// program and the other way round): its registration in that kind's registry
// view and the file that kind's loader takes for it.
struct OtherKindFacts {
    bool registered;
    Registration registration;
    FoundFile found;
    bool takes; // that kind's loader takes found: a DLL for its processor
};
// False when Windows has one kind of program only, or the other kind's view
// has no vidc.QV4Z.
bool ReadOtherKind(OtherKindFacts* other);

// Reads the facts from the system; the texts live as long as the object.
class CodecInstallation {
public:
    // managerLoaded: whether the compressor manager could be loaded at all;
    // startupCrash: what the opening saw of a crash in the codec's start-up;
    // opened: the codec opened, so its registration and file are wanted, not
    // what keeps it from starting (the DLLs it needs are not followed).
    CodecInstallation(bool managerLoaded, const StartupCrash* startupCrash, bool opened = false);
    CodecInstallation(const CodecInstallation&) = delete;
    CodecInstallation& operator=(const CodecInstallation&) = delete;
    const CodecFacts& Facts() const { return m_facts; }
    // The codec as the other kind of program finds it; not registered where
    // Windows has one kind of program only.
    const OtherKindFacts& OtherKind() const { return m_other; }

private:
    void ReadRegistration();
    void FindFile(bool opened);
    void FindWhyMissing();
    void ReadWhyUnreadable();
    bool OtherKindHasCodec() const;

    DllSearch m_search; // this program's loader
    CodecFacts m_facts;
    OtherKindFacts m_other;
    Registration m_registration;
    WCHAR m_name[kRegistrationLength + 1];
    WCHAR m_expanded[MAX_PATH];
    WCHAR m_tooLong[12];
    WCHAR m_unreadable[256];
};

#endif
