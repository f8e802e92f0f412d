// dllsearch - finding a DLL where the loader finds it, and following the
// import tables of a DLL to the first one that it cannot get.
#include "dllsearch.h"

#include <string.h>
#include <wchar.h>

namespace {

// A DLL's import table is followed this many levels deep, through at most
// this many different DLLs.
const int kMaxDepth = 6;
const int kMaxVisited = 128;

const FileFacts kNothing = {FILEKIND_NONE, ERROR_SUCCESS, 0, false, false};

// Names that Windows resolves to its own DLLs itself; no file has them.
bool IsApiSet(const WCHAR* name)
{
    return _wcsnicmp(name, L"api-ms-win-", 11) == 0 || _wcsnicmp(name, L"ext-ms-", 7) == 0;
}

// name with ".dll" added when its file part has no extension, into
// withExtension; false when that does not fit.
bool WithDllExtension(const WCHAR* name, WCHAR withExtension[MAX_PATH])
{
    const WCHAR* file = name;
    for (const WCHAR* at = wcspbrk(name, kPathSeparators); at != nullptr; at = wcspbrk(at + 1, kPathSeparators))
        file = at + 1;
    const bool extension = wcschr(file, L'.') != nullptr;
    if (wcslen(name) + (extension ? 0 : 4) >= MAX_PATH)
        return false;
    wcscpy(withExtension, name);
    if (!extension)
        wcscat(withExtension, L".dll");
    return true;
}

// A DLL's name as the loader compares names: without regard to case.
DWORD NameHash(const WCHAR* name)
{
    DWORD hash = 2166136261u;
    for (; *name != L'\0'; ++name) {
        WCHAR c = *name;
        if (c >= L'A' && c <= L'Z')
            c = static_cast<WCHAR>(c - L'A' + L'a');
        hash = (hash ^ c) * 16777619u;
    }
    return hash;
}

} // namespace

// Follows import tables depth first, as the loader loads, each DLL once.
class DependencyWalk {
public:
    DependencyWalk(const DllSearch& search, MissingDll* missing) : m_search(search), m_missing(missing), m_count(0) {}
    // Whether dll, shown at that path, needs a DLL that it cannot get; that
    // one is then in the MissingDll.
    bool Walk(const WCHAR* dll, int depth);

private:
    // Whether name, with its extension, is seen here for the first time;
    // false too when the walk has seen as many DLLs as it follows.
    bool FirstVisit(const WCHAR* name);

    const DllSearch& m_search;
    MissingDll* m_missing;
    DWORD m_visited[kMaxVisited];
    int m_count;
};

bool DependencyWalk::FirstVisit(const WCHAR* name)
{
    const DWORD hash = NameHash(name);
    for (int i = 0; i < m_count; ++i) {
        if (m_visited[i] == hash)
            return false;
    }
    if (m_count == kMaxVisited)
        return false;
    m_visited[m_count++] = hash;
    return true;
}

bool DependencyWalk::Walk(const WCHAR* dll, int depth)
{
    WCHAR read[MAX_PATH];
    if (!m_search.PathToRead(dll, read))
        return false;
    ByteSource bytes(read);
    PeFile file(bytes);
    if (!bytes.Opened() || file.Facts().kind != FILEKIND_DLL)
        return false;
    WCHAR name[MAX_PATH];
    for (DWORD index = 0; file.Import(index, name); ++index) {
        WCHAR withExtension[MAX_PATH];
        if (name[0] == L'\0' || IsApiSet(name) || !WithDllExtension(name, withExtension) || !FirstVisit(withExtension))
            continue;
        // A DLL this program has loaded already is taken as it is.
        if (m_search.m_ownProgram && GetModuleHandleW(withExtension) != nullptr)
            continue;
        FoundFile found;
        if (!m_search.Find(name, &found) || found.facts.kind != FILEKIND_DLL ||
            found.facts.machine != m_search.Machine()) {
            wcscpy(m_missing->name, name);
            wcscpy(m_missing->neededBy, dll);
            m_missing->found = found;
            return true;
        }
        if (depth + 1 < kMaxDepth && Walk(found.path, depth + 1))
            return true;
    }
    return false;
}

DllSearch::DllSearch(bool otherKind) : m_program64Bit(kProgram64Bit != otherKind), m_ownProgram(!otherKind)
{
    if (!m_folders.Windows64Bit() || !JoinPath(m_sysnative, m_folders.windows, L"Sysnative"))
        m_sysnative[0] = L'\0';
    m_programFolder[0] = L'\0';
    if (m_ownProgram) {
        const DWORD length = GetModuleFileNameW(nullptr, m_programFolder, MAX_PATH);
        WCHAR* end = length > 0 && length < MAX_PATH ? wcsrchr(m_programFolder, L'\\') : nullptr;
        if (end != nullptr)
            *end = L'\0';
        else
            m_programFolder[0] = L'\0';
    }
    m_path = nullptr;
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size > 0 && (m_path = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, size * sizeof(WCHAR)))) != nullptr &&
        GetEnvironmentVariableW(L"PATH", m_path, size) >= size)
        m_path[0] = L'\0';
}

DllSearch::~DllSearch()
{
    if (m_path != nullptr)
        LocalFree(m_path);
}

const WCHAR* DllSearch::SystemFolder() const
{
    return m_folders.Windows64Bit() && !m_program64Bit ? m_folders.wow64 : m_folders.system32;
}

const WCHAR* DllSearch::OtherSystemFolder() const
{
    if (!m_folders.Windows64Bit())
        return L"";
    return m_program64Bit ? m_folders.wow64 : m_folders.system32;
}

// A path as this kind of program names it, as Explorer shows it: a 32-bit
// program on 64-bit Windows that names System32 reaches SysWOW64, and
// reaches System32 itself through Sysnative.
bool DllSearch::AsExplorerShows(const WCHAR* named, WCHAR shown[MAX_PATH]) const
{
    const WCHAR* rest = nullptr;
    if (m_sysnative[0] != L'\0' && !m_program64Bit && (rest = PathBelow(named, m_folders.system32)) != nullptr)
        return JoinPath(shown, m_folders.wow64, rest + 1);
    if (m_sysnative[0] != L'\0' && (rest = PathBelow(named, m_sysnative)) != nullptr)
        return JoinPath(shown, m_folders.system32, rest + 1);
    return JoinPath(shown, L"", named);
}

// The path by which this program reads a file that Explorer shows at shown:
// the 32-bit program on 64-bit Windows reaches System32 through Sysnative.
bool DllSearch::PathToRead(const WCHAR* shown, WCHAR read[MAX_PATH]) const
{
    const WCHAR* rest = nullptr;
    if (!kProgram64Bit && m_sysnative[0] != L'\0' && (rest = PathBelow(shown, m_folders.system32)) != nullptr)
        return JoinPath(read, m_sysnative, rest + 1);
    return JoinPath(read, L"", shown);
}

bool DllSearch::Find(const WCHAR* name, FoundFile* found) const
{
    found->path[0] = L'\0';
    found->facts = kNothing;
    WCHAR file[MAX_PATH];
    WCHAR shown[MAX_PATH];
    if (name[0] == L'\0' || !WithDllExtension(name, file))
        return false;
    if (HasFolder(file))
        return AsExplorerShows(file, shown) && Examine(shown, found);
    return FindInSearchOrder(file, found);
}

// The folders in the loader's order, then those of the PATH. A file for
// another processor is the answer only when nothing else has the name.
bool DllSearch::FindInSearchOrder(const WCHAR* file, FoundFile* found) const
{
    WCHAR system16[MAX_PATH] = L"";
    WCHAR current[MAX_PATH] = L"";
    if (m_folders.windows[0] == L'\0' || !JoinPath(system16, m_folders.windows, L"system"))
        system16[0] = L'\0';
    const DWORD currentLength = m_ownProgram ? GetCurrentDirectoryW(MAX_PATH, current) : 0;
    if (currentLength == 0 || currentLength >= MAX_PATH)
        current[0] = L'\0';
    const WCHAR* const folders[] = {m_programFolder, SystemFolder(), system16, m_folders.windows, current};
    for (const WCHAR* folder : folders) {
        if (TryFolder(folder, file, found))
            return true;
    }
    for (const WCHAR* entry = m_path; entry != nullptr && *entry != L'\0';) {
        const WCHAR* end = wcschr(entry, L';');
        const size_t length = end != nullptr ? static_cast<size_t>(end - entry) : wcslen(entry);
        WCHAR folder[MAX_PATH];
        if (length < MAX_PATH) {
            wmemcpy(folder, entry, length);
            folder[length] = L'\0';
            if (TryFolder(folder, file, found))
                return true;
        }
        entry += length + (end != nullptr);
    }
    return found->path[0] != L'\0';
}

// Whether the loader takes the file of that name in folder. One for another
// processor is passed over, and kept in found while found holds nothing.
bool DllSearch::TryFolder(const WCHAR* folder, const WCHAR* file, FoundFile* found) const
{
    WCHAR path[MAX_PATH];
    WCHAR shown[MAX_PATH];
    FoundFile candidate;
    if (folder[0] == L'\0' || !JoinPath(path, folder, file) || !AsExplorerShows(path, shown) ||
        !Examine(shown, &candidate))
        return false;
    const FileKind kind = candidate.facts.kind;
    if ((kind == FILEKIND_DLL || kind == FILEKIND_PROGRAM) && candidate.facts.machine != Machine()) {
        if (found->path[0] == L'\0')
            *found = candidate;
        return false;
    }
    *found = candidate;
    return true;
}

bool DllSearch::FindIn(const WCHAR* folder, const WCHAR* name, FoundFile* found) const
{
    WCHAR file[MAX_PATH];
    WCHAR path[MAX_PATH];
    found->path[0] = L'\0';
    found->facts = kNothing;
    return folder[0] != L'\0' && WithDllExtension(name, file) && JoinPath(path, folder, file) && Examine(path, found);
}

// What the file that Explorer shows at shown is, into found, whose path it
// becomes; false when nothing has that name.
bool DllSearch::Examine(const WCHAR* shown, FoundFile* found) const
{
    WCHAR read[MAX_PATH];
    found->facts = kNothing;
    if (!PathToRead(shown, read))
        return false;
    wcscpy(found->path, shown);
    const DWORD attributes = GetFileAttributesW(read);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return false;
        found->facts.kind = FILEKIND_UNREADABLE;
        found->facts.error = error;
        return true;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        found->facts.kind = FILEKIND_FOLDER;
        return true;
    }
    ByteSource bytes(read);
    if (!bytes.Opened()) {
        found->facts.kind = FILEKIND_UNREADABLE;
        found->facts.error = bytes.Error();
        return true;
    }
    found->facts = PeFile(bytes).Facts();
    return true;
}

bool DllSearch::FindMissingDll(const WCHAR* dll, MissingDll* missing) const
{
    missing->name[0] = missing->neededBy[0] = missing->found.path[0] = L'\0';
    missing->found.facts = kNothing;
    return DependencyWalk(*this, missing).Walk(dll, 0);
}
