// sidebyside.h - the activation context that the loader applies to a DLL's
// imports: its own manifest (resource ID 2), set up by the system's own calls
// as the loader sets it up, so that a DLL of a side-by-side assembly is found
// where the loader finds it. The system maps the DLL as data to read the
// manifest; nothing of it runs.
#ifndef FERROTUNE_SIDEBYSIDE_H
#define FERROTUNE_SIDEBYSIDE_H

#include "pefile.h"

#include <windows.h>

class DllActivation {
public:
    // The context of the DLL that this program reads at path, activated for
    // the object's life (contexts nest as the loader nests them); none when
    // the DLL has no manifest.
    DllActivation(PeFile& file, const WCHAR* path);
    ~DllActivation();
    DllActivation(const DllActivation&) = delete;
    DllActivation& operator=(const DllActivation&) = delete;

    // The system could not set up the context, so the loader refuses the DLL.
    bool Failed() const { return m_failed; }
    // Then: the assemblies the manifest depends on that are not Windows' own,
    // "Name Version, processor" separated by "; ", and how many there are.
    const WCHAR* Assemblies() const { return m_assemblies; }
    int AssemblyCount() const { return m_assemblyCount; }

private:
    void ReadDependencies(PeFile& file);

    HANDLE m_context;
    ULONG_PTR m_cookie;
    bool m_failed;
    int m_assemblyCount;
    WCHAR m_assemblies[MAX_PATH];
};

// The file that the active activation contexts (and the process's default
// one) give the loader for a DLL name, into path as this program reads it;
// false when they give none.
bool RedirectedDll(const WCHAR* name, const WCHAR* windowsFolder, WCHAR path[MAX_PATH]);

#endif
