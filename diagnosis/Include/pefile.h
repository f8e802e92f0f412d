// pefile.h - what a file is to the Windows loader, read from its headers and
// its export and import tables. The bytes come from a byte source, a file or
// memory, and are only read: nothing of the file is loaded or run. Every read
// is checked against the size and every table is capped, so damaged bytes can
// neither make the reader loop nor read past the end.
#ifndef FERROTUNE_PEFILE_H
#define FERROTUNE_PEFILE_H

#include <windows.h>

// The bytes of a file, read from the file itself or from memory.
class ByteSource {
public:
    // A file, opened for reading and shared with everyone else.
    explicit ByteSource(const WCHAR* path);
    // Bytes in memory, which the caller keeps alive.
    ByteSource(const void* data, DWORD size);
    ~ByteSource();
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    bool Opened() const { return m_file != INVALID_HANDLE_VALUE || m_data != nullptr; }
    DWORD Error() const { return m_error; } // why a file did not open
    DWORD Size() const { return m_size; }
    // size bytes at offset into data; false when they are not all there.
    bool Read(DWORD offset, void* data, DWORD size);

private:
    HANDLE m_file;
    const BYTE* m_data;
    DWORD m_error;
    DWORD m_size;
};

// What the loader finds for a name.
enum FileKind : unsigned char {
    FILEKIND_NONE,       // nothing of that name
    FILEKIND_FOLDER,     // a folder has the name
    FILEKIND_UNREADABLE, // it cannot be opened or read; FileFacts::error says why
    FILEKIND_NOT_PE,     // no Windows DLL or program at all
    FILEKIND_16BIT,      // a 16-bit Windows driver or program
    FILEKIND_PROGRAM,    // a Windows program, not a DLL
    FILEKIND_ASSEMBLY,   // a .NET assembly with no machine code
    FILEKIND_DLL,
};

struct FileFacts {
    FileKind kind;
    DWORD error;     // FILEKIND_UNREADABLE: the system's error code
    WORD machine;    // FILEKIND_PROGRAM, FILEKIND_DLL: the processor in the PE header
    bool driverProc; // FILEKIND_DLL: it exports DriverProc
};

// One file read as a PE image.
class PeFile {
public:
    // Reads the headers; the source must outlive the object.
    explicit PeFile(ByteSource& bytes);
    PeFile(const PeFile&) = delete;
    PeFile& operator=(const PeFile&) = delete;

    // What the file is, from FILEKIND_NOT_PE to FILEKIND_DLL.
    FileFacts Facts();
    // The index-th DLL name of the import table, as wide text ("" for one
    // that cannot be read); false after the last.
    bool Import(DWORD index, WCHAR name[MAX_PATH]);

private:
    static const WORD kMaxSections = 96; // the most the loader reads

    bool ReadHeaders();
    bool ReadAtRva(DWORD rva, void* data, DWORD size);
    bool ReadName(DWORD rva, char* text, DWORD size);
    bool ExportsDriverProc();

    ByteSource& m_bytes;
    WORD m_signature; // IMAGE_NT_SIGNATURE's low word, IMAGE_OS2_SIGNATURE, or 0
    IMAGE_FILE_HEADER m_header;
    DWORD m_headersSize;
    WORD m_sectionCount;
    IMAGE_DATA_DIRECTORY m_directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
    IMAGE_SECTION_HEADER m_sections[kMaxSections];
};

#endif
