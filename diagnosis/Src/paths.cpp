// paths - joining and comparing paths, the system's folders, Explorer's view.
#include "paths.h"

#include <wchar.h>

namespace {

// One of the system's folder queries into folder; empty when it fails or the
// folder does not fit.
void QueryFolder(UINT(WINAPI* query)(LPWSTR, UINT), WCHAR folder[MAX_PATH])
{
    const UINT length = query(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        folder[0] = L'\0';
}

} // namespace

WORD MachineFor(bool program64Bit)
{
    return program64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
}

bool HasFolder(const WCHAR* name)
{
    return wcspbrk(name, kPathSeparators) != nullptr;
}

bool JoinPath(WCHAR path[MAX_PATH], const WCHAR* folder, const WCHAR* name)
{
    const size_t folderLength = wcslen(folder);
    const bool separator = folderLength > 0 && folder[folderLength - 1] != L'\\';
    if (folderLength + separator + wcslen(name) >= MAX_PATH)
        return false;
    wmemmove(path, folder, folderLength);
    if (separator)
        path[folderLength] = L'\\';
    wcscpy(path + folderLength + separator, name);
    return true;
}

const WCHAR* PathBelow(const WCHAR* path, const WCHAR* folder)
{
    const size_t length = wcslen(folder);
    if (length == 0 || _wcsnicmp(path, folder, length) != 0 || path[length] != L'\\')
        return nullptr;
    return path + length;
}

SystemFolders::SystemFolders()
{
    QueryFolder(GetSystemDirectoryW, system32);
    QueryFolder(GetSystemWow64DirectoryW, wow64);
    QueryFolder(GetWindowsDirectoryW, windows);
}

void ExplorerPath(WCHAR path[MAX_PATH])
{
    if (kProgram64Bit)
        return;
    const SystemFolders folders;
    const WCHAR* rest = folders.Windows64Bit() ? PathBelow(path, folders.system32) : nullptr;
    WCHAR shown[MAX_PATH];
    if (rest != nullptr && JoinPath(shown, folders.wow64, rest + 1))
        wcscpy(path, shown);
}
