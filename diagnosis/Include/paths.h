// paths.h - paths of fixed size (MAX_PATH characters), the system's folders,
// and a path as Explorer shows it. Nothing here uses the heap, so that a
// crash report can use it in a damaged process.
#ifndef FERROTUNE_PATHS_H
#define FERROTUNE_PATHS_H

#include <windows.h>

// Whether this program is the 64-bit one, and the processor that each kind
// of program's DLLs are built for.
const bool kProgram64Bit = sizeof(void*) == 8;
WORD MachineFor(bool program64Bit);

// The characters that end a folder in a path.
const WCHAR kPathSeparators[] = L"\\/:";
// Whether name names a folder, not only a file.
bool HasFolder(const WCHAR* name);
// folder, a backslash where it ends in none, and name, into path; false when
// that does not fit in MAX_PATH characters.
bool JoinPath(WCHAR path[MAX_PATH], const WCHAR* folder, const WCHAR* name);
// The rest of path after folder, from its backslash on; null when path does
// not lie in folder.
const WCHAR* PathBelow(const WCHAR* path, const WCHAR* folder);

// The system's folders, queried once. A folder that does not fit in MAX_PATH
// characters is left empty.
struct SystemFolders {
    SystemFolders();
    bool Windows64Bit() const { return wow64[0] != L'\0'; }

    WCHAR system32[MAX_PATH]; // System32, as every program names it
    WCHAR wow64[MAX_PATH];    // SysWOW64, the 32-bit programs' system folder; empty on 32-bit Windows
    WCHAR windows[MAX_PATH];
};

// path, which this program names, as Explorer shows it: a 32-bit program on
// 64-bit Windows that names System32 reaches SysWOW64, and is shown that.
void ExplorerPath(WCHAR path[MAX_PATH]);

#endif
