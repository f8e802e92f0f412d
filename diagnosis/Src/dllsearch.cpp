// dllsearch - finding a DLL where the loader finds it, and following the
// import tables of a DLL to the first one that it cannot get.
#include "dllsearch.h"

#include "sidebyside.h"

#include <string.h>
#include <wchar.h>

namespace {

// A DLL's import table is followed this many levels deep, through at most
// this many different DLLs.
const int kMaxDepth = 6;
const int kMaxVisited = 128;

const FileFacts kNothing = {FILEKIND_NONE, ERROR_SUCCESS, 0, false, false};

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

// The processor of Windows itself, where IsWow64Process2 (Windows 10, looked
// up at run time) tells it; else that of this program's kind.
WORD QueryNativeMachine()
{
    typedef BOOL(WINAPI * Query)(HANDLE, USHORT*, USHORT*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    Query query = kernel != nullptr
                      ? reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process2")))
                      : nullptr;
    USHORT process = 0, native = 0;
    if (query != nullptr && query(GetCurrentProcess(), &process, &native))
        return native;
    return MachineFor(kProgram64Bit);
}

// A forward's target, "DLL.Function" or "DLL.#ordinal": the DLL's name with
// ".dll" into dll, the function into function; false when it is no such text.
bool ParseForward(const char* forward, WCHAR dll[MAX_PATH], FunctionRef* function)
{
    const char* dot = strrchr(forward, '.');
    WCHAR name[MAX_PATH];
    const int length =
        dot != nullptr ? MultiByteToWideChar(CP_ACP, 0, forward, static_cast<int>(dot - forward), name, MAX_PATH - 1)
                       : 0;
    if (length <= 0)
        return false;
    name[length] = L'\0';
    function->ordinal = function->hint = 0;
    function->name[0] = '\0';
    if (dot[1] == '#') {
        for (const char* digit = dot + 2; *digit >= '0' && *digit <= '9'; ++digit)
            function->ordinal = static_cast<WORD>(function->ordinal * 10 + (*digit - '0'));
    } else {
        strncpy(function->name, dot + 1, sizeof(function->name) - 1);
        function->name[sizeof(function->name) - 1] = '\0';
    }
    return WithDllExtension(name, dll);
}

} // namespace

bool LoaderTakes(const FileFacts& facts, bool program64Bit, WORD nativeMachine)
{
    return facts.machine == MachineFor(program64Bit) || (program64Bit && nativeMachine == IMAGE_FILE_MACHINE_ARM64 &&
                                                         facts.machine == IMAGE_FILE_MACHINE_ARM64 && facts.hybrid);
}

// Follows import tables depth first, as the loader loads, each DLL once, in
// the activation context that the loader sets up for each.
class DependencyWalk {
public:
    DependencyWalk(const DllSearch& search, MissingDll* missing) : m_search(search), m_missing(missing), m_count(0) {}
    // Whether dll, shown at that path, needs a DLL, function or assembly that
    // it cannot get; that one is then in the MissingDll.
    bool Walk(const WCHAR* dll, int depth);

private:
    bool WalkImport(PeFile& importer, DWORD import, const WCHAR* importerPath, const WCHAR* name, int depth);
    bool FirstVisit(const WCHAR* name);
    bool Resolve(const WCHAR* name, FoundFile* found, bool* loaded) const;
    bool CheckFunctions(PeFile& importer, DWORD import, const WCHAR* importerPath, const WCHAR* name,
                        const FoundFile& found);
    bool CheckForward(const char* forward, const FoundFile& forwarder);
    bool Missing(MissingKind kind, const WCHAR* name, const WCHAR* neededBy, const FoundFile* found);
    bool MissingFunction(const FunctionRef& function, const WCHAR* name, const WCHAR* neededBy, const FoundFile& found);
    void Unable(Unchecked reason, const WCHAR* name);

    const DllSearch& m_search;
    MissingDll* m_missing;
    DWORD m_visited[kMaxVisited];
    int m_count;
};

// Whether name, with its extension, is seen here for the first time. When the
// walk has seen as many DLLs as it follows, a new one is left unchecked.
bool DependencyWalk::FirstVisit(const WCHAR* name)
{
    const DWORD hash = NameHash(name);
    for (int i = 0; i < m_count; ++i) {
        if (m_visited[i] == hash)
            return false;
    }
    if (m_count == kMaxVisited) {
        Unable(UNCHECKED_DEEPER, name);
        return false;
    }
    m_visited[m_count++] = hash;
    return true;
}

void DependencyWalk::Unable(Unchecked reason, const WCHAR* name)
{
    if (m_missing->unchecked != CHECKED_ALL)
        return;
    m_missing->unchecked = reason;
    wcsncpy(m_missing->uncheckedName, name, MAX_PATH - 1);
    m_missing->uncheckedName[MAX_PATH - 1] = L'\0';
}

bool DependencyWalk::Missing(MissingKind kind, const WCHAR* name, const WCHAR* neededBy, const FoundFile* found)
{
    m_missing->kind = kind;
    wcscpy(m_missing->name, name);
    wcscpy(m_missing->neededBy, neededBy);
    if (found != nullptr)
        m_missing->found = *found;
    return true;
}

bool DependencyWalk::MissingFunction(const FunctionRef& function, const WCHAR* name, const WCHAR* neededBy,
                                     const FoundFile& found)
{
    WCHAR* text = m_missing->function;
    if (function.name[0] == '\0') {
        text[0] = L'#';
        _ultow(function.ordinal, text + 1, 10);
    } else if (MultiByteToWideChar(CP_ACP, 0, function.name, -1, text, MAX_PATH) == 0) {
        text[0] = L'\0';
    }
    m_missing->shadows = m_search.Shadows(found.path, name);
    return Missing(MISSING_FUNCTION, name, neededBy, &found);
}

// What the loader takes for a name: a DLL that an active activation context
// redirects it to, else a DLL of that name this program has loaded already,
// as it is, else a file where it looks for DLLs.
bool DependencyWalk::Resolve(const WCHAR* name, FoundFile* found, bool* loaded) const
{
    WCHAR path[MAX_PATH];
    WCHAR shown[MAX_PATH];
    *loaded = false;
    found->path[0] = L'\0';
    found->facts = kNothing;
    if (RedirectedDll(name, m_search.WindowsFolder(), path))
        return m_search.AsExplorerShows(path, shown) && m_search.Examine(shown, found);
    HMODULE module = m_search.m_ownProgram ? GetModuleHandleW(name) : nullptr;
    const DWORD length = module != nullptr ? GetModuleFileNameW(module, path, MAX_PATH) : 0;
    if (length > 0 && length < MAX_PATH) {
        *loaded = true;
        return m_search.AsExplorerShows(path, shown) && m_search.Examine(shown, found);
    }
    return m_search.Find(name, found);
}

// Whether found, taken for the import-th DLL of importer, lacks a function
// that importer takes from it, by name or number; one step of forwarding is
// followed.
bool DependencyWalk::CheckFunctions(PeFile& importer, DWORD import, const WCHAR* importerPath, const WCHAR* name,
                                    const FoundFile& found)
{
    WCHAR read[MAX_PATH];
    if (!m_search.PathToRead(found.path, read)) {
        Unable(UNCHECKED_UNREADABLE, found.path);
        return false;
    }
    ByteSource bytes(read);
    PeFile exporter(bytes);
    FunctionRef function;
    bool unreadable = !bytes.Opened();
    for (DWORD index = 0; !unreadable && importer.ImportedFunction(import, index, &function, &unreadable); ++index) {
        char forward[256];
        switch (exporter.FindExport(function, forward)) {
        case EXPORT_MISSING:
            return MissingFunction(function, name, importerPath, found);
        case EXPORT_FORWARDED:
            if (CheckForward(forward, found))
                return true;
            break;
        case EXPORT_UNREADABLE:
            Unable(UNCHECKED_UNREADABLE, found.path);
            return false;
        default:
            break;
        }
    }
    if (unreadable)
        Unable(UNCHECKED_UNREADABLE, bytes.Opened() ? importerPath : found.path);
    return false;
}

// Whether the target of a forward in forwarder's export table is missing:
// its DLL, or the function in it (whose own forwards are not followed).
bool DependencyWalk::CheckForward(const char* forward, const FoundFile& forwarder)
{
    WCHAR dll[MAX_PATH];
    FunctionRef function;
    if (!ParseForward(forward, dll, &function))
        return false;
    const ApiSetAnswer answer = m_search.m_apiSets.Judge(dll);
    if (answer != APISET_FILE) {
        if (answer == APISET_UNKNOWN)
            Unable(UNCHECKED_APISET, dll);
        return false;
    }
    FoundFile target;
    bool loaded = false;
    if (!Resolve(dll, &target, &loaded) || target.facts.kind != FILEKIND_DLL || !m_search.Takes(target.facts))
        return Missing(MISSING_DLL, dll, forwarder.path, &target);
    WCHAR read[MAX_PATH];
    char next[256];
    if (!m_search.PathToRead(target.path, read))
        return false;
    ByteSource bytes(read);
    PeFile exporter(bytes);
    return bytes.Opened() && exporter.FindExport(function, next) == EXPORT_MISSING &&
           MissingFunction(function, dll, forwarder.path, target);
}

bool DependencyWalk::Walk(const WCHAR* dll, int depth)
{
    WCHAR read[MAX_PATH];
    if (!m_search.PathToRead(dll, read)) {
        Unable(UNCHECKED_UNREADABLE, dll);
        return false;
    }
    ByteSource bytes(read);
    PeFile file(bytes);
    if (!bytes.Opened()) {
        Unable(UNCHECKED_UNREADABLE, dll);
        return false;
    }
    if (file.Facts().kind != FILEKIND_DLL)
        return false;
    const DllActivation activation(file, read);
    if (activation.Failed())
        return Missing(activation.AssemblyCount() == 1 ? MISSING_ASSEMBLY : MISSING_ASSEMBLIES, activation.Assemblies(),
                       dll, nullptr);
    WCHAR name[MAX_PATH];
    for (DWORD index = 0; file.Import(index, name); ++index)
        if (WalkImport(file, index, dll, name, depth))
            return true;
    return false;
}

// Whether the import at that index of importer, the DLL name, cannot be had:
// not the system's own API set, no usable file, a function that file lacks,
// or something the DLL found needs in turn, one level deeper. The activation
// context of importer is still active, as the loader's would be.
bool DependencyWalk::WalkImport(PeFile& importer, DWORD import, const WCHAR* importerPath, const WCHAR* name,
                                int depth)
{
    WCHAR withExtension[MAX_PATH];
    if (name[0] == L'\0' || !WithDllExtension(name, withExtension)) {
        Unable(UNCHECKED_UNREADABLE, importerPath);
        return false;
    }
    const ApiSetAnswer answer = m_search.m_apiSets.Judge(withExtension);
    if (answer == APISET_UNKNOWN)
        Unable(UNCHECKED_APISET, name);
    if (answer != APISET_FILE)
        return false;
    FoundFile found;
    bool loaded = false;
    if (!Resolve(withExtension, &found, &loaded) || found.facts.kind != FILEKIND_DLL || !m_search.Takes(found.facts)) {
        if (found.facts.kind != FILEKIND_UNREADABLE)
            return Missing(MISSING_DLL, name, importerPath, &found);
        Unable(UNCHECKED_UNREADABLE, found.path);
        return false;
    }
    if (CheckFunctions(importer, import, importerPath, name, found))
        return true;
    if (loaded || !FirstVisit(withExtension))
        return false;
    if (depth + 1 < kMaxDepth)
        return Walk(found.path, depth + 1);
    Unable(UNCHECKED_DEEPER, found.path);
    return false;
}

DllSearch::DllSearch(bool otherKind)
    : m_nativeMachine(QueryNativeMachine()), m_program64Bit(kProgram64Bit != otherKind), m_ownProgram(!otherKind)
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
    if (m_sysnative[0] != L'\0' && !m_program64Bit && (rest = PathBelow(named, m_sysnative)) != nullptr)
        return JoinPath(shown, m_folders.system32, rest + 1);
    return JoinPath(shown, L"", named);
}

// The path by which this program reads a file that Explorer shows at shown:
// the 32-bit program on 64-bit Windows reaches System32 through Sysnative.
// A 64-bit program has no Sysnative: nothing is there for it.
bool DllSearch::PathToRead(const WCHAR* shown, WCHAR read[MAX_PATH]) const
{
    const WCHAR* rest = nullptr;
    if (m_program64Bit && m_sysnative[0] != L'\0' && PathBelow(shown, m_sysnative) != nullptr)
        return false;
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
    if ((kind == FILEKIND_DLL || kind == FILEKIND_PROGRAM) && !Takes(candidate.facts)) {
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
    missing->function[0] = missing->uncheckedName[0] = L'\0';
    missing->found.facts = kNothing;
    missing->kind = MISSING_DLL;
    missing->shadows = false;
    missing->unchecked = CHECKED_ALL;
    return DependencyWalk(*this, missing).Walk(dll, 0);
}

bool DllSearch::Shadows(const WCHAR* path, const WCHAR* name) const
{
    WCHAR current[MAX_PATH];
    const DWORD length = m_ownProgram ? GetCurrentDirectoryW(MAX_PATH, current) : 0;
    const bool early = PathBelow(path, m_programFolder) != nullptr ||
                       (length > 0 && length < MAX_PATH && PathBelow(path, current) != nullptr);
    FoundFile system;
    return early && FindIn(SystemFolder(), name, &system);
}
