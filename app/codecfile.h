// codecfile.h - where a program's loader finds a DLL, and what the file it
// finds is, judged from its headers, export and import tables. Files are only
// read: nothing of them is loaded or run.
//
// The loader looks for a name without a folder in this order: the program's
// folder, the system folder, the 16-bit system folder, the Windows folder, the
// current folder, the folders of the PATH; a file for another processor is
// passed over there, anything else of that name ends the search. Paths are
// shown as Explorer shows them: a 32-bit program on 64-bit Windows that names
// the system folder reaches SysWOW64, so that is the path it is given as.
#ifndef FERROTUNE_CODECFILE_H
#define FERROTUNE_CODECFILE_H

#include <windows.h>

// What a file is, as far as the loader is concerned.
enum FileKind : unsigned char {
    kNoFile,     // nothing of that name
    kFolder,     // a folder has the name
    kUnreadable, // it cannot be opened or read; error says why
    kNotPe,      // no Windows DLL or program at all
    kOld16Bit,   // a 16-bit Windows driver or program
    kProgram,    // a Windows program, not a DLL
    kAssembly,   // a .NET assembly with no native code
    kDll,
};

struct FileFacts {
    FileKind kind;
    DWORD error;     // kUnreadable: the system's error code
    WORD machine;    // kProgram, kDll: the processor in the PE header
    bool driverProc; // kDll: it exports DriverProc
};

// A file the loader takes for a name: its path and what it is. Where nothing
// has the name, a path that was given is kept as it is shown.
struct FoundFile {
    WCHAR path[MAX_PATH];
    FileFacts facts;
};

// The first DLL that a DLL needs, directly or through others, and that cannot
// be loaded: there is none, or the one found is for another processor or no DLL.
struct MissingDll {
    WCHAR name[MAX_PATH];     // as the import table names it; empty: nothing is missing
    WCHAR neededBy[MAX_PATH]; // path of the DLL whose import table names it
    FoundFile found;          // what the loader would find for it (path empty: nothing)
};

// path (MAX_PATH characters), a file that this program names, as Explorer
// shows it: a 32-bit program on 64-bit Windows that names System32 reaches
// SysWOW64. It uses no heap, so that a crash report can call it.
void ShowAsExplorer(WCHAR* path);

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

    static bool Has64BitWindows();
    bool For64BitPrograms() const { return m_program64Bit; }
    WORD Machine() const;
    const WCHAR* SystemFolder() const { return m_systemFolder; }
    const WCHAR* WindowsFolder() const { return m_windowsFolder; }
    // The system folder of the other kind of program; empty on 32-bit Windows.
    const WCHAR* OtherSystemFolder() const { return m_otherSystemFolder; }

    // What the loader takes for name: a path (with a folder in it), or a name
    // looked for in the folders in order. ".dll" is added to a name without
    // an extension, as the loader adds it. False when nothing has the name.
    bool Find(const WCHAR* name, FoundFile* found) const;
    // The file of that name in one folder shown as Explorer shows it.
    bool FindIn(const WCHAR* folder, const WCHAR* name, FoundFile* found) const;
    // The first DLL that dll (a DLL of this kind) needs and cannot get,
    // following the import tables a few levels deep; false when there is none.
    bool FindMissingDll(const WCHAR* dll, MissingDll* missing) const;

private:
    bool Shown(const WCHAR* named, WCHAR* shown) const;
    bool Readable(const WCHAR* shown, WCHAR* read) const;
    bool Judge(const WCHAR* shown, FoundFile* found) const;
    bool Walk(const WCHAR* dll, int depth, DWORD* visited, int* visitedCount, MissingDll* missing) const;

    bool m_program64Bit;
    bool m_ownProgram;
    WCHAR m_programFolder[MAX_PATH]; // this program's; empty for the other kind
    WCHAR m_systemFolder[MAX_PATH];  // the one this kind of program's loader searches
    WCHAR m_nativeFolder[MAX_PATH];  // System32 as every program names it
    WCHAR m_sysnative[MAX_PATH];     // how a 32-bit program reaches System32 itself; empty on 32-bit Windows
    WCHAR m_otherSystemFolder[MAX_PATH];
    WCHAR m_windowsFolder[MAX_PATH];
    WCHAR* m_path; // LocalAlloc: the PATH, its System32 folders as this kind of program reaches them
};

#endif
