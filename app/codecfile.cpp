// codecfile - finding a DLL where the loader finds it, and reading what the
// file is from its headers and tables, with plain file reads that never go
// past the file's end and never loop on a damaged table.
#include "codecfile.h"

#include <stddef.h>
#include <string.h>
#include <wchar.h>

namespace {

// The loader reads at most 96 sections; a DLL's import table is followed this
// many levels deep, through at most this many different DLLs.
const WORD kMaxSections = 96;
const int kMaxDepth = 6;
const int kMaxVisited = 128;
// Longer tables than these are taken as damaged.
const DWORD kMaxImports = 1024;
const DWORD kMaxExports = 65536;

const char kDriverProc[] = "DriverProc";

bool IsPathSeparator(WCHAR c)
{
    return c == L'\\' || c == L'/' || c == L':';
}

// folder, a backslash where it has none, and name, into path (MAX_PATH);
// false when that does not fit.
bool Join(WCHAR* path, const WCHAR* folder, const WCHAR* name)
{
    const size_t folderLength = wcslen(folder);
    const bool separator = folderLength > 0 && folder[folderLength - 1] != L'\\';
    if (folderLength + separator + wcslen(name) >= MAX_PATH)
        return false;
    wcscpy(path, folder);
    if (separator)
        path[folderLength] = L'\\';
    wcscpy(path + folderLength + separator, name);
    return true;
}

// Whether path begins with folder and a backslash; the rest of path then.
const WCHAR* Below(const WCHAR* path, const WCHAR* folder)
{
    const size_t length = wcslen(folder);
    if (length == 0 || _wcsnicmp(path, folder, length) != 0 || path[length] != L'\\')
        return nullptr;
    return path + length;
}

// One of the system's folder queries into folder (MAX_PATH characters);
// false, and an empty folder, when it fails or the folder does not fit.
bool QueryFolder(UINT(WINAPI* query)(LPWSTR, UINT), WCHAR* folder)
{
    const UINT length = query(folder, MAX_PATH);
    if (length != 0 && length < MAX_PATH)
        return true;
    folder[0] = L'\0';
    return false;
}

// Names that Windows resolves to its own DLLs itself; no file has them.
bool IsApiSet(const WCHAR* name)
{
    return _wcsnicmp(name, L"api-ms-win-", 11) == 0 || _wcsnicmp(name, L"ext-ms-", 7) == 0;
}

// name with ".dll" added when its file part has no extension, into
// withExtension (MAX_PATH); false when that does not fit.
bool WithDllExtension(const WCHAR* name, WCHAR* withExtension)
{
    const WCHAR* file = name;
    for (const WCHAR* at = name; *at != L'\0'; ++at) {
        if (IsPathSeparator(*at))
            file = at + 1;
    }
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

// ---------------------------------------------------------------------------
// One PE file, read through its headers
// ---------------------------------------------------------------------------
class PeFile {
public:
    explicit PeFile(const WCHAR* path)
        : m_file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
          m_error(m_file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS), m_size(0), m_headersSize(0),
          m_sectionCount(0), m_directoryCount(0)
    {
        if (m_file != INVALID_HANDLE_VALUE) {
            m_size = GetFileSize(m_file, nullptr);
            if (m_size == INVALID_FILE_SIZE)
                m_size = 0;
        }
    }
    ~PeFile()
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    PeFile(const PeFile&) = delete;
    PeFile& operator=(const PeFile&) = delete;

    bool Opened() const { return m_file != INVALID_HANDLE_VALUE; }
    DWORD Error() const { return m_error; }
    FileFacts Facts();
    // The index-th DLL name of the import table, as wide text; false after the last.
    bool Import(DWORD index, WCHAR* name);

private:
    bool Read(DWORD offset, void* data, DWORD size);
    bool ReadAtRva(DWORD rva, void* data, DWORD size);
    bool ExportsDriverProc();

    HANDLE m_file;
    DWORD m_error;
    DWORD m_size;
    DWORD m_headersSize;
    WORD m_sectionCount;
    DWORD m_directoryCount;
    IMAGE_DATA_DIRECTORY m_directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
    IMAGE_SECTION_HEADER m_sections[kMaxSections];
};

bool PeFile::Read(DWORD offset, void* data, DWORD size)
{
    DWORD read = 0;
    return offset <= m_size && size <= m_size - offset &&
           SetFilePointer(m_file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(m_file, data, size, &read, nullptr) && read == size;
}

// Reads size bytes at an address of the loaded image, from the section's
// data in the file that holds them all.
bool PeFile::ReadAtRva(DWORD rva, void* data, DWORD size)
{
    if (rva < m_headersSize && size <= m_headersSize - rva)
        return Read(rva, data, size);
    for (WORD i = 0; i < m_sectionCount; ++i) {
        const IMAGE_SECTION_HEADER& section = m_sections[i];
        if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData &&
            size <= section.SizeOfRawData - (rva - section.VirtualAddress))
            return Read(section.PointerToRawData + (rva - section.VirtualAddress), data, size);
    }
    return false;
}

FileFacts PeFile::Facts()
{
    FileFacts facts = {kNotPe, ERROR_SUCCESS, 0, false};
    IMAGE_DOS_HEADER dos;
    DWORD signature = 0;
    if (!Read(0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        !Read(static_cast<DWORD>(dos.e_lfanew), &signature, sizeof(signature)))
        return facts;
    if (LOWORD(signature) == IMAGE_OS2_SIGNATURE) {
        facts.kind = kOld16Bit;
        return facts;
    }
    const DWORD at = static_cast<DWORD>(dos.e_lfanew) + sizeof(signature);
    IMAGE_FILE_HEADER header;
    WORD magic = 0;
    if (signature != IMAGE_NT_SIGNATURE || !Read(at, &header, sizeof(header)) ||
        !Read(at + sizeof(header), &magic, sizeof(magic)))
        return facts;

    // The directories' place differs between the 32-bit and the 64-bit
    // optional header; the size of the headers is at the same place in both.
    const DWORD optional = at + sizeof(header);
    DWORD directories = 0;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        directories = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        directories = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    const DWORD countAt = directories - sizeof(DWORD); // NumberOfRvaAndSizes
    if (directories == 0 || header.SizeOfOptionalHeader < directories ||
        !Read(optional + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders), &m_headersSize, sizeof(m_headersSize)) ||
        !Read(optional + countAt, &m_directoryCount, sizeof(m_directoryCount)))
        return facts;
    if (m_directoryCount > IMAGE_NUMBEROF_DIRECTORY_ENTRIES)
        m_directoryCount = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    if ((header.SizeOfOptionalHeader - directories) / sizeof(IMAGE_DATA_DIRECTORY) < m_directoryCount)
        m_directoryCount = (header.SizeOfOptionalHeader - directories) / sizeof(IMAGE_DATA_DIRECTORY);
    memset(m_directories, 0, sizeof(m_directories));
    m_sectionCount = header.NumberOfSections < kMaxSections ? header.NumberOfSections : kMaxSections;
    if (!Read(optional + directories, m_directories, m_directoryCount * sizeof(IMAGE_DATA_DIRECTORY)) ||
        !Read(optional + header.SizeOfOptionalHeader, m_sections, m_sectionCount * sizeof(IMAGE_SECTION_HEADER)))
        return facts;

    facts.machine = header.Machine;
    if (!(header.Characteristics & IMAGE_FILE_DLL)) {
        facts.kind = kProgram;
        return facts;
    }
    // The runtime header's flags: COMIMAGE_FLAGS_ILONLY marks an assembly
    // that holds no machine code at all.
    const IMAGE_DATA_DIRECTORY& runtime = m_directories[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR];
    DWORD runtimeFlags = 0;
    if (runtime.VirtualAddress != 0 && ReadAtRva(runtime.VirtualAddress + 16, &runtimeFlags, sizeof(runtimeFlags)) &&
        (runtimeFlags & 1) != 0) {
        facts.kind = kAssembly;
        return facts;
    }
    facts.kind = kDll;
    facts.driverProc = ExportsDriverProc();
    return facts;
}

// Whether the export table names DriverProc, the name the manager asks for.
bool PeFile::ExportsDriverProc()
{
    const IMAGE_DATA_DIRECTORY& table = m_directories[IMAGE_DIRECTORY_ENTRY_EXPORT];
    IMAGE_EXPORT_DIRECTORY exports;
    if (table.VirtualAddress == 0 || !ReadAtRva(table.VirtualAddress, &exports, sizeof(exports)))
        return false;
    const DWORD count = exports.NumberOfNames < kMaxExports ? exports.NumberOfNames : kMaxExports;
    DWORD names[64];
    for (DWORD first = 0; first < count; first += 64) {
        const DWORD batch = count - first < 64 ? count - first : 64;
        if (!ReadAtRva(exports.AddressOfNames + first * sizeof(DWORD), names, batch * sizeof(DWORD)))
            return false;
        for (DWORD i = 0; i < batch; ++i) {
            char name[sizeof(kDriverProc)];
            if (ReadAtRva(names[i], name, sizeof(name)) && memcmp(name, kDriverProc, sizeof(name)) == 0)
                return true;
        }
    }
    return false;
}

bool PeFile::Import(DWORD index, WCHAR* name)
{
    const IMAGE_DATA_DIRECTORY& table = m_directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    if (table.VirtualAddress == 0 || index >= kMaxImports ||
        !ReadAtRva(table.VirtualAddress + index * sizeof(descriptor), &descriptor, sizeof(descriptor)) ||
        descriptor.Name == 0)
        return false;
    // A name near the end of its section is read in what is left of it.
    char text[MAX_PATH];
    DWORD size = sizeof(text);
    while (size > 1 && !ReadAtRva(descriptor.Name, text, size))
        size /= 2;
    text[size - 1] = '\0';
    if (size <= 1 || strlen(text) == size - 1)
        text[0] = '\0'; // no name, or one with no end in reach: skipped
    return MultiByteToWideChar(CP_ACP, 0, text, -1, name, MAX_PATH) > 0;
}

} // namespace

// ---------------------------------------------------------------------------
// The loader's search
// ---------------------------------------------------------------------------
void ShowAsExplorer(WCHAR* path)
{
    WCHAR native[MAX_PATH];
    WCHAR wow64[MAX_PATH];
    WCHAR shown[MAX_PATH];
    const WCHAR* rest = nullptr;
    if (sizeof(void*) == 4 && QueryFolder(GetSystemWow64DirectoryW, wow64) &&
        QueryFolder(GetSystemDirectoryW, native) && (rest = Below(path, native)) != nullptr &&
        Join(shown, wow64, rest + 1))
        wcscpy(path, shown);
}

DllSearch::DllSearch(bool otherKind) : m_program64Bit((sizeof(void*) == 8) != otherKind), m_ownProgram(!otherKind)
{
    WCHAR wow64[MAX_PATH];
    QueryFolder(GetSystemDirectoryW, m_nativeFolder);
    const bool windows64Bit = QueryFolder(GetSystemWow64DirectoryW, wow64);
    wcscpy(m_systemFolder, windows64Bit && !m_program64Bit ? wow64 : m_nativeFolder);
    wcscpy(m_otherSystemFolder, !windows64Bit ? L"" : m_program64Bit ? wow64 : m_nativeFolder);
    QueryFolder(GetWindowsDirectoryW, m_windowsFolder);
    if (!windows64Bit || !Join(m_sysnative, m_windowsFolder, L"Sysnative"))
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

bool DllSearch::Has64BitWindows()
{
    WCHAR folder[MAX_PATH];
    return QueryFolder(GetSystemWow64DirectoryW, folder);
}

WORD DllSearch::Machine() const
{
    return m_program64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
}

// A path as this kind of program names it, as Explorer shows it: a 32-bit
// program on 64-bit Windows that names System32 reaches SysWOW64, and
// reaches System32 itself through Sysnative.
bool DllSearch::Shown(const WCHAR* named, WCHAR* shown) const
{
    const WCHAR* rest = nullptr;
    if (m_sysnative[0] != L'\0' && !m_program64Bit && (rest = Below(named, m_nativeFolder)) != nullptr)
        return Join(shown, m_systemFolder, rest + 1);
    if (m_sysnative[0] != L'\0' && (rest = Below(named, m_sysnative)) != nullptr)
        return Join(shown, m_nativeFolder, rest + 1);
    return Join(shown, L"", named);
}

// The path by which this program reads a file shown at shown: the 32-bit
// program on 64-bit Windows reads System32 through Sysnative.
bool DllSearch::Readable(const WCHAR* shown, WCHAR* read) const
{
    const WCHAR* rest = nullptr;
    if (sizeof(void*) == 4 && m_sysnative[0] != L'\0' && (rest = Below(shown, m_nativeFolder)) != nullptr)
        return Join(read, m_sysnative, rest + 1);
    return Join(read, L"", shown);
}

bool DllSearch::Find(const WCHAR* name, FoundFile* found) const
{
    found->path[0] = L'\0';
    found->facts = FileFacts{kNoFile, ERROR_SUCCESS, 0, false};
    WCHAR file[MAX_PATH];
    WCHAR shown[MAX_PATH];
    if (name[0] == L'\0' || !WithDllExtension(name, file))
        return false;
    for (const WCHAR* at = file; *at != L'\0'; ++at) {
        if (IsPathSeparator(*at))
            return Shown(file, shown) && Judge(shown, found);
    }

    // A file for another processor is passed over; it is the answer only
    // when nothing else has the name.
    FoundFile candidate;
    auto take = [&](const WCHAR* folder) {
        WCHAR path[MAX_PATH];
        if (folder[0] == L'\0' || !Join(path, folder, file) || !Shown(path, shown) || !Judge(shown, &candidate))
            return false;
        const bool image = candidate.facts.kind == kDll || candidate.facts.kind == kProgram;
        if (image && candidate.facts.machine != Machine()) {
            if (found->path[0] == L'\0')
                *found = candidate;
            return false;
        }
        *found = candidate;
        return true;
    };
    WCHAR system16[MAX_PATH];
    WCHAR current[MAX_PATH] = L"";
    if (!Join(system16, m_windowsFolder, L"system"))
        system16[0] = L'\0';
    const DWORD currentLength = m_ownProgram ? GetCurrentDirectoryW(MAX_PATH, current) : 0;
    if (currentLength == 0 || currentLength >= MAX_PATH)
        current[0] = L'\0';
    const WCHAR* const folders[] = {m_programFolder, m_systemFolder, system16, m_windowsFolder, current};
    for (const WCHAR* folder : folders) {
        if (take(folder))
            return true;
    }
    for (const WCHAR* entry = m_path; entry != nullptr && *entry != L'\0';) {
        const WCHAR* end = wcschr(entry, L';');
        const size_t length = end != nullptr ? static_cast<size_t>(end - entry) : wcslen(entry);
        WCHAR folder[MAX_PATH];
        if (length < MAX_PATH) {
            memcpy(folder, entry, length * sizeof(WCHAR));
            folder[length] = L'\0';
            if (take(folder))
                return true;
        }
        entry += length + (end != nullptr);
    }
    return found->path[0] != L'\0';
}

bool DllSearch::FindIn(const WCHAR* folder, const WCHAR* name, FoundFile* found) const
{
    WCHAR file[MAX_PATH];
    WCHAR path[MAX_PATH];
    found->path[0] = L'\0';
    found->facts = FileFacts{kNoFile, ERROR_SUCCESS, 0, false};
    return folder[0] != L'\0' && WithDllExtension(name, file) && Join(path, folder, file) && Judge(path, found);
}

// Judges the file shown at shown. False when there is nothing of that name.
bool DllSearch::Judge(const WCHAR* shown, FoundFile* found) const
{
    WCHAR read[MAX_PATH];
    found->facts = FileFacts{kNoFile, ERROR_SUCCESS, 0, false};
    if (!Readable(shown, read))
        return false;
    wcscpy(found->path, shown);
    const DWORD attributes = GetFileAttributesW(read);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return false;
        found->facts.kind = kUnreadable;
        found->facts.error = error;
        return true;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        found->facts.kind = kFolder;
        return true;
    }
    PeFile file(read);
    if (!file.Opened()) {
        found->facts.kind = kUnreadable;
        found->facts.error = file.Error();
        return true;
    }
    found->facts = file.Facts();
    return true;
}

bool DllSearch::FindMissingDll(const WCHAR* dll, MissingDll* missing) const
{
    DWORD visited[kMaxVisited];
    int visitedCount = 0;
    missing->name[0] = missing->neededBy[0] = missing->found.path[0] = L'\0';
    return Walk(dll, 0, visited, &visitedCount, missing);
}

// Follows the import table of the DLL shown at dll, depth first as the
// loader loads; true once a DLL is found that cannot be loaded.
bool DllSearch::Walk(const WCHAR* dll, int depth, DWORD* visited, int* visitedCount, MissingDll* missing) const
{
    WCHAR read[MAX_PATH];
    if (!Readable(dll, read))
        return false;
    PeFile file(read);
    if (!file.Opened() || file.Facts().kind != kDll)
        return false;
    WCHAR name[MAX_PATH];
    for (DWORD index = 0; file.Import(index, name); ++index) {
        WCHAR withExtension[MAX_PATH];
        if (name[0] == L'\0' || IsApiSet(name) || !WithDllExtension(name, withExtension))
            continue;
        const DWORD hash = NameHash(withExtension);
        bool seen = false;
        for (int i = 0; i < *visitedCount && !seen; ++i)
            seen = visited[i] == hash;
        if (seen)
            continue;
        if (*visitedCount == kMaxVisited)
            return false;
        visited[(*visitedCount)++] = hash;
        // A DLL this program has loaded already is taken as it is.
        if (m_ownProgram && GetModuleHandleW(withExtension) != nullptr)
            continue;
        FoundFile found;
        if (!Find(name, &found) || found.facts.kind != kDll || found.facts.machine != Machine()) {
            wcscpy(missing->name, name);
            wcscpy(missing->neededBy, dll);
            missing->found = found;
            return true;
        }
        if (depth + 1 < kMaxDepth && Walk(found.path, depth + 1, visited, visitedCount, missing))
            return true;
    }
    return false;
}
