// pefile - a file's PE headers and its export and import tables, read through
// a byte source with reads that never go past its end.
#include "pefile.h"

#include <stddef.h>
#include <string.h>

namespace {

// Longer tables than these are taken as damaged.
const DWORD kMaxImports = 1024;
const DWORD kMaxExports = 65536;

const char kDriverProc[] = "DriverProc";

// COMIMAGE_FLAGS_ILONLY in the runtime header: an assembly with no machine code.
const DWORD kIlOnly = 0x1;
const DWORD kRuntimeFlagsOffset = 16;

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

PeFile::PeFile(ByteSource& bytes) : m_bytes(bytes), m_signature(0), m_header(), m_headersSize(0), m_sectionCount(0)
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
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        directories = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        directories = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
    DWORD directoryCount = 0; // NumberOfRvaAndSizes, just before the directories
    if (directories == 0 || m_header.SizeOfOptionalHeader < directories ||
        !m_bytes.Read(optional + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders), &m_headersSize,
                      sizeof(m_headersSize)) ||
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
    FileFacts facts = {FILEKIND_NOT_PE, ERROR_SUCCESS, 0, false};
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

bool PeFile::Import(DWORD index, WCHAR name[MAX_PATH])
{
    const IMAGE_DATA_DIRECTORY& table = m_directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
    IMAGE_IMPORT_DESCRIPTOR descriptor;
    if (m_signature != LOWORD(IMAGE_NT_SIGNATURE) || table.VirtualAddress == 0 || index >= kMaxImports ||
        !ReadAtRva(table.VirtualAddress + index * sizeof(descriptor), &descriptor, sizeof(descriptor)) ||
        descriptor.Name == 0)
        return false;
    char text[MAX_PATH];
    if (!ReadName(descriptor.Name, text, sizeof(text)))
        text[0] = '\0';
    return MultiByteToWideChar(CP_ACP, 0, text, -1, name, MAX_PATH) > 0;
}
