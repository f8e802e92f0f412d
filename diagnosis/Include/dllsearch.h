// dllsearch.h - where a program's loader finds a DLL, and the first DLL that
// a DLL needs and cannot get. Files are only read: nothing is loaded or run.
//
// The loader looks for a name without a folder in this order: the program's
// folder, the system folder, the 16-bit system folder, the Windows folder, the
// current folder, the folders of the PATH. A file for another processor is
// passed over there; anything else of that name ends the search. Paths are
// given as Explorer shows them (paths.h).
#ifndef FERROTUNE_DLLSEARCH_H
#define FERROTUNE_DLLSEARCH_H

#include "apisets.h"
#include "paths.h"
#include "pefile.h"

#include <windows.h>

// A file the loader takes for a name: its path and what it is. Where nothing
// has the name, a path that was given is kept as it is shown.
struct FoundFile {
    WCHAR path[MAX_PATH];
    FileFacts facts;
};

// Whether a program of that kind loads a DLL with these facts: one built for
// its own processor, and, for an x64 program on ARM64 Windows (which runs it
// by emulation), an ARM64X DLL, whose x64 code it loads; Windows' own DLLs in
// System32 are such DLLs there.
bool LoaderTakes(const FileFacts& facts, bool program64Bit, WORD nativeMachine);

// What keeps the loader from loading a DLL that another one needs.
enum MissingKind : unsigned char {
    MISSING_DLL,        // no file of that name, or found is for another processor or no DLL
    MISSING_FUNCTION,   // found lacks function
    MISSING_ASSEMBLY,   // a side-by-side assembly that neededBy's manifest names is not installed: name is it
    MISSING_ASSEMBLIES, // the system cannot set up the assemblies that neededBy's manifest names: name lists them
};

// What the walk could not establish, the first thing of its kind.
enum Unchecked : unsigned char {
    CHECKED_ALL,
    UNCHECKED_DEEPER,     // the DLLs go deeper, or are more, than the walk follows
    UNCHECKED_UNREADABLE, // uncheckedName, which a DLL needs, cannot be read
    UNCHECKED_APISET,     // the API-set name uncheckedName, where this program cannot read the schema
};

// The first thing that a DLL needs, directly or through others, and cannot
// get, and what the search could not check.
struct MissingDll {
    WCHAR name[MAX_PATH];     // as the import table names it; empty: nothing is missing
    WCHAR neededBy[MAX_PATH]; // path of the DLL whose import table (or manifest) names it
    FoundFile found;          // what the loader would find for it (path empty: nothing)
    MissingKind kind;
    bool shadows;             // found lies in this program's or the current folder, and the system folder
                              // has a file of that name, which the loader does not reach
    WCHAR function[MAX_PATH]; // MISSING_FUNCTION: its name, or "#" and its number
    Unchecked unchecked;
    WCHAR uncheckedName[MAX_PATH];
};

// The folders in which one kind of program on this Windows looks for DLLs.
class DllSearch {
public:
    // For this program, or for a program of the other kind (32-bit for the
    // 64-bit one and the other way round), whose own and current folder are
    // unknown. The other kind exists only on 64-bit Windows.
    explicit DllSearch(bool otherKind);
    ~DllSearch();
    DllSearch(const DllSearch&) = delete;
    DllSearch& operator=(const DllSearch&) = delete;

    bool Windows64Bit() const { return m_folders.Windows64Bit(); }
    WORD Machine() const { return MachineFor(m_program64Bit); }
    // The processor of Windows itself (IMAGE_FILE_MACHINE_ARM64 on Windows on ARM).
    WORD NativeMachine() const { return m_nativeMachine; }
    bool Takes(const FileFacts& facts) const { return LoaderTakes(facts, m_program64Bit, m_nativeMachine); }
    // The folder this kind of program's loader searches, and the Windows folder.
    const WCHAR* SystemFolder() const;
    const WCHAR* WindowsFolder() const { return m_folders.windows; }
    // The system folder of the other kind of program; empty on 32-bit Windows.
    const WCHAR* OtherSystemFolder() const;

    // What the loader takes for name: a path (with a folder in it), or a name
    // looked for in the folders in order. ".dll" is added to a name without
    // an extension, as the loader adds it. False when nothing has the name.
    bool Find(const WCHAR* name, FoundFile* found) const;
    // The file of that name in one folder.
    bool FindIn(const WCHAR* folder, const WCHAR* name, FoundFile* found) const;
    // The first DLL, function or assembly that dll (a DLL of this kind)
    // needs and cannot get, following the import tables and manifests a few
    // levels deep as the loader follows them; false when there is none.
    bool FindMissingDll(const WCHAR* dll, MissingDll* missing) const;
    // Whether path, found for name, lies in this program's or the current
    // folder, before a file of that name in the system folder.
    bool Shadows(const WCHAR* path, const WCHAR* name) const;

private:
    friend class DependencyWalk;

    bool Examine(const WCHAR* shown, FoundFile* found) const;
    bool AsExplorerShows(const WCHAR* named, WCHAR shown[MAX_PATH]) const;
    bool PathToRead(const WCHAR* shown, WCHAR read[MAX_PATH]) const;
    bool FindInSearchOrder(const WCHAR* file, FoundFile* found) const;
    bool TryFolder(const WCHAR* folder, const WCHAR* file, FoundFile* found) const;

    SystemFolders m_folders;
    ApiSetSchema m_apiSets;
    WORD m_nativeMachine;
    bool m_program64Bit;
    bool m_ownProgram;
    WCHAR m_programFolder[MAX_PATH]; // this program's; empty for the other kind
    WCHAR m_sysnative[MAX_PATH];     // how a 32-bit program reaches System32 itself (no 64-bit program has
                                     // it); empty on 32-bit Windows
    WCHAR* m_path;                   // LocalAlloc: the PATH
};

#endif
