// pefile - a file's PE headers and its export and import tables, read through
// a byte source with reads that never go past its end.
#include "pefile.h"

#include <stddef.h>
#include <string.h>

namespace {

// Longer tables than these are taken as damaged.
const DWORD kMaxImports = 1024;
const DWORD kMaxFunctions = 65536; // functions of one DLL of the import table
const DWORD kMaxExports = 65536;
const DWORD kMaxResourceEntries = 4096;

// COMIMAGE_FLAGS_ILONLY in the runtime header: an assembly with no machine code.
const DWORD kIlOnly = 0x1;
const DWORD kRuntimeFlagsOffset = 16;

// Where the 64-bit load configuration points to the metadata of an ARM64X
// DLL's x64 code (CHPEMetadataPointer).
const DWORD kHybridMetadataOffset = 200;

// The resource that holds a DLL's own manifest: RT_MANIFEST, ID 2
// (ISOLATIONAWARE_MANIFEST_RESOURCE_ID), in whichever language comes first.
const DWORD kManifestType = 24;
const DWORD kDllManifestId = 2;
const DWORD kAnyId = 0xFFFFFFFF;
const DWORD kSubdirectory = 0x80000000; // in a resource entry's data or name

const FunctionRef kDriverProc = {0, 0, "DriverProc"};

} // namespace

ByteSource::ByteSource(const WCHAR* path)
    : m_file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
      m_data(nullptr), m_error(m_file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS), m_size(0)
{
    if (m_file != INVALID_HANDLE_VALUE) {
        m_size = GetFileSize(m_file, nullptr);
        if (m_size == INVALID_FILE_SIZE)
            m_size = 0;
    }
}

ByteSource::ByteSource(const void* data, DWORD size)
    : m_file(INVALID_HANDLE_VALUE), m_data(static_cast<const BYTE*>(data)), m_error(ERROR_SUCCESS), m_size(size)
{
}

ByteSource::~ByteSource()
{
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
}

bool ByteSource::Read(DWORD offset, void* data, DWORD size)
{
    if (offset > m_size || size > m_size - offset)
        return false;
    if (m_data != nullptr) {
        memcpy(data, m_data + offset, size);
        return true;
    }
    DWORD read = 0;
    return SetFilePointer(m_file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(m_file, data, size, &read, nullptr) && read == size;
}

PeFile::PeFile(ByteSource& bytes)
    : m_bytes(bytes), m_signature(0), m_pe64(false), m_dllCharacteristics(0), m_header(), m_exportsRead(0), m_exports(),
      m_headersSize(0), m_sectionCount(0)
{
    memset(m_directories, 0, sizeof(m_directories));
    if (!ReadHeaders() && m_signature != IMAGE_OS2_SIGNATURE)
        m_signature = 0;
}

// The DOS header, the signature it points to and, for a PE image, the file
// header, the data directories and the section table. An NE image keeps its
// signature; anything else that is not a whole PE header gives false.
bool PeFile::ReadHeaders()
{
    IMAGE_DOS_HEADER dos;
    DWORD signature = 0;
    if (!m_bytes.Read(0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
        !m_bytes.Read(static_cast<DWORD>(dos.e_lfanew), &signature, sizeof(signature)))
        return false;
    m_signature = LOWORD(signature);
    const DWORD at = static_cast<DWORD>(dos.e_lfanew) + sizeof(signature);
    const DWORD optional = at + sizeof(m_header);
    WORD magic = 0;
    if (signature != IMAGE_NT_SIGNATURE || !m_bytes.Read(at, &m_header, sizeof(m_header)) ||
        !m_bytes.Read(optional, &magic, sizeof(magic)))
        return false;

    // The directories' place differs between the 32-bit and the 64-bit
    // optional header; the size of the headers is at the same place in both.
    DWORD directories = 0;
    m_pe64 = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        directories = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    else if (m_pe64)
        directories = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    DWORD directoryCount = 0; // NumberOfRvaAndSizes, just before the directories
    if (directories == 0 || m_header.SizeOfOptionalHeader < directories ||
        !m_bytes.Read(optional + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders), &m_headersSize,
                      sizeof(m_headersSize)) ||
        !m_bytes.Read(optional + offsetof(IMAGE_OPTIONAL_HEADER32, DllCharacteristics), &m_dllCharacteristics,
                      sizeof(m_dllCharacteristics)) ||
        !m_bytes.Read(optional + directories - sizeof(DWORD), &directoryCount, sizeof(directoryCount)))
        return false;
    const DWORD room = (m_header.SizeOfOptionalHeader - directories) / sizeof(IMAGE_DATA_DIRECTORY);
    if (directoryCount > IMAGE_NUMBEROF_DIRECTORY_ENTRIES)
        directoryCount = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    if (directoryCount > room)
        directoryCount = room;
    m_sectionCount = m_header.NumberOfSections < kMaxSections ? m_header.NumberOfSections : kMaxSections;
    return m_bytes.Read(optional + directories, m_directories, directoryCount * sizeof(IMAGE_DATA_DIRECTORY)) &&
           m_bytes.Read(optional + m_header.SizeOfOptionalHeader, m_sections,
                        m_sectionCount * sizeof(IMAGE_SECTION_HEADER));
}

// Reads size bytes at an address of the loaded image, from the headers or
// from the one section whose data in the file holds them all.
bool PeFile::ReadAtRva(DWORD rva, void* data, DWORD size)
{
    if (rva < m_headersSize && size <= m_headersSize - rva)
        return m_bytes.Read(rva, data, size);
    for (WORD i = 0; i < m_sectionCount; ++i) {
        const IMAGE_SECTION_HEADER& section = m_sections[i];
        if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData &&
            size <= section.SizeOfRawData - (rva - section.VirtualAddress))
            return m_bytes.Read(section.PointerToRawData + (rva - section.VirtualAddress), data, size);
    }
    return false;
}

// A zero-ended name at rva into text (size bytes); false when it has no end
// within size bytes. A name near the end of its section is read in what is
// left of it.
bool PeFile::ReadName(DWORD rva, char* text, DWORD size)
{
    while (size > 1 && !ReadAtRva(rva, text, size))
        size /= 2;
    if (size <= 1)
        return false;
    text[size - 1] = '\0';
    return strlen(text) < size - 1;
}

FileFacts PeFile::Facts()
{
    FileFacts facts = {FILEKIND_NOT_PE, ERROR_SUCCESS, 0, false, false};
    if (m_signature == IMAGE_OS2_SIGNATURE) {
        facts.kind = FILEKIND_16BIT;
        return facts;
    }
    if (m_signature != LOWORD(IMAGE_NT_SIGNATURE))
        return facts;
    facts.machine = m_header.Machine;
    if (!(m_header.Characteristics & IMAGE_FILE_DLL)) {
        facts.kind = FILEKIND_PROGRAM;
        return facts;
    }
    const IMAGE_DATA_DIRECTORY& runtime = m_directories[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR];
    DWORD runtimeFlags = 0;
    if (runtime.VirtualAddress != 0 &&
        ReadAtRva(runtime.VirtualAddress + kRuntimeFlagsOffset, &runtimeFlags, sizeof(runtimeFlags)) &&
        (runtimeFlags & kIlOnly) != 0) {
        facts.kind = FILEKIND_ASSEMBLY;
        return facts;
    }
    facts.kind = FILEKIND_DLL;
    char forward[256];
    const ExportKind driverProc = FindExport(kDriverProc, forward);
    facts.driverProc = driverProc == EXPORT_PRESENT || driverProc == EXPORT_FORWARDED;
    facts.hybrid = m_header.Machine == IMAGE_FILE_MACHINE_ARM64 && IsHybrid();
    return facts;
}

// Whether the load configuration points to metadata of x64 code, which an
// ARM64X DLL has and a plain ARM64 DLL lacks.
bool PeFile::IsHybrid()
{
    const IMAGE_DATA_DIRECTORY& config = m_directories[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    DWORD size = 0;
    ULONGLONG metadata = 0;
    return m_pe64 && config.VirtualAddress != 0 && ReadAtRva(config.VirtualAddress, &size, sizeof(size)) &&
           size >= kHybridMetadataOffset + sizeof(metadata) &&
           ReadAtRva(config.VirtualAddress + kHybridMetadataOffset, &metadata, sizeof(metadata)) && metadata != 0;
}

bool PeFile::ReadImport(DWORD index, IMAGE_IMPORT_DESCRIPTOR* descriptor)
{
    const IMAGE_DATA_DIRECTORY& table = m_directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
    return m_signature == LOWORD(IMAGE_NT_SIGNATURE) && table.VirtualAddress != 0 && index < kMaxImports &&
           ReadAtRva(table.VirtualAddress + index * sizeof(*descriptor), descriptor, sizeof(*descriptor)) &&
           descriptor->Name != 0 && descriptor->FirstThunk != 0;
}

bool PeFile::Import(DWORD index, WCHAR name[MAX_PATH])
{
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    if (!ReadImport(index, &descriptor))
        return false;
    char text[MAX_PATH];
    if (!ReadName(descriptor.Name, text, sizeof(text)))
        text[0] = '\0';
    return MultiByteToWideChar(CP_ACP, 0, text, -1, name, MAX_PATH) > 0;
}

// The names come from the table of names the import's descriptor points to,
// or, in an image whose addresses were never bound, from its table of
// addresses; an entry of zero ends either.
bool PeFile::ImportedFunction(DWORD import, DWORD index, FunctionRef* function, bool* unreadable)
{
    *unreadable = false;
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    if (!ReadImport(import, &descriptor) || index >= kMaxFunctions)
        return false;
    const DWORD list = descriptor.OriginalFirstThunk != 0 ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
    const DWORD entrySize = m_pe64 ? sizeof(ULONGLONG) : sizeof(DWORD);
    ULONGLONG entry = 0;
    if (!ReadAtRva(list + index * entrySize, &entry, entrySize)) {
        *unreadable = true;
        return false;
    }
    if (entry == 0)
        return false;
    function->ordinal = function->hint = 0;
    function->name[0] = '\0';
    if ((entry & (m_pe64 ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32)) != 0) {
        function->ordinal = LOWORD(entry);
        return true;
    }
    const DWORD byName = static_cast<DWORD>(entry);
    *unreadable = !ReadAtRva(byName, &function->hint, sizeof(function->hint)) ||
                  !ReadName(byName + sizeof(WORD), function->name, sizeof(function->name));
    return !*unreadable;
}

// The index-th name of the export table; false when it cannot be read.
bool PeFile::ReadExportName(DWORD index, char* name, DWORD size)
{
    DWORD rva = 0;
    return ReadAtRva(m_exports.AddressOfNames + index * sizeof(DWORD), &rva, sizeof(rva)) && ReadName(rva, name, size);
}

// The index-th entry of the table of addresses: empty, the DLL's own, or an
// address inside the export table, which holds a forward's target.
ExportKind PeFile::ExportAt(DWORD index, char forward[256])
{
    const IMAGE_DATA_DIRECTORY& table = m_directories[IMAGE_DIRECTORY_ENTRY_EXPORT];
    DWORD rva = 0;
    if (index >= m_exports.NumberOfFunctions)
        return EXPORT_MISSING;
    if (!ReadAtRva(m_exports.AddressOfFunctions + index * sizeof(DWORD), &rva, sizeof(rva)))
        return EXPORT_UNREADABLE;
    if (rva == 0)
        return EXPORT_MISSING;
    if (rva - table.VirtualAddress >= table.Size)
        return EXPORT_PRESENT;
    return ReadName(rva, forward, 256) ? EXPORT_FORWARDED : EXPORT_UNREADABLE;
}

ExportKind PeFile::FindExport(const FunctionRef& function, char forward[256])
{
    const IMAGE_DATA_DIRECTORY& table = m_directories[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (m_exportsRead == 0)
        m_exportsRead = table.VirtualAddress == 0 ? 2 : ReadAtRva(table.VirtualAddress, &m_exports, sizeof(m_exports));
    if (m_exportsRead == 2)
        return EXPORT_MISSING;
    if (m_exportsRead != 1)
        return EXPORT_UNREADABLE;
    if (function.name[0] == '\0')
        return function.ordinal < m_exports.Base ? EXPORT_MISSING
                                                 : ExportAt(function.ordinal - m_exports.Base, forward);

    const DWORD count = m_exports.NumberOfNames < kMaxExports ? m_exports.NumberOfNames : kMaxExports;
    char name[sizeof(function.name)];
    DWORD found = count;
    if (function.hint < count && ReadExportName(function.hint, name, sizeof(name)) && strcmp(name, function.name) == 0)
        found = function.hint;
    for (DWORD low = 0, high = count; found == count && low < high;) {
        const DWORD middle = low + (high - low) / 2;
        if (!ReadExportName(middle, name, sizeof(name)))
            return EXPORT_UNREADABLE;
        const int order = strcmp(name, function.name);
        if (order == 0)
            found = middle;
        else if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    WORD index = 0;
    if (found == count)
        return EXPORT_MISSING;
    if (!ReadAtRva(m_exports.AddressOfNameOrdinals + found * sizeof(WORD), &index, sizeof(index)))
        return EXPORT_UNREADABLE;
    return ExportAt(index, forward);
}

// The entry of the resource directory at offset directory (from the start of
// the resources) whose ID is id, or its first entry for kAnyId; the entry's
// data offset into *entry.
bool PeFile::ResourceEntry(DWORD directory, DWORD id, DWORD* entry)
{
    const DWORD resources = m_directories[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    IMAGE_RESOURCE_DIRECTORY header;
    if (!ReadAtRva(resources + directory, &header, sizeof(header)))
        return false;
    DWORD count = header.NumberOfNamedEntries + header.NumberOfIdEntries;
    if (count > kMaxResourceEntries)
        count = kMaxResourceEntries;
    for (DWORD i = id == kAnyId ? 0 : header.NumberOfNamedEntries; i < count; ++i) {
        DWORD pair[2]; // the entry's name or ID, and its data
        if (!ReadAtRva(resources + directory + sizeof(header) + i * sizeof(pair), pair, sizeof(pair)))
            return false;
        if (id == kAnyId || pair[0] == id) {
            *entry = pair[1];
            return true;
        }
    }
    return false;
}

bool PeFile::Manifest(char* text, DWORD size)
{
    const DWORD resources = m_directories[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
    DWORD type = 0, name = 0, language = 0;
    IMAGE_RESOURCE_DATA_ENTRY data;
    if ((m_dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_ISOLATION) != 0 || resources == 0 ||
        !ResourceEntry(0, kManifestType, &type) || (type & kSubdirectory) == 0 ||
        !ResourceEntry(type & ~kSubdirectory, kDllManifestId, &name) || (name & kSubdirectory) == 0 ||
        !ResourceEntry(name & ~kSubdirectory, kAnyId, &language) || (language & kSubdirectory) != 0 ||
        !ReadAtRva(resources + language, &data, sizeof(data)))
        return false;
    const DWORD length = data.Size < size - 1 ? data.Size : size - 1;
    text[length] = '\0';
    return ReadAtRva(data.OffsetToData, text, length);
}
