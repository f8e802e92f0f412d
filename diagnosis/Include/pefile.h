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
    bool hybrid;     // an ARM64 DLL with code for x64 programs too (ARM64X): its load configuration has
                     // the metadata of that code
};

// A function that an import table names: by name (a hint, the index in the
// exporter's name table where it is likely to be, and the name), or by number
// (an ordinal, name empty).
struct FunctionRef {
    WORD ordinal;
    WORD hint;
    char name[512];
};

// What an export table holds for a function.
enum ExportKind : unsigned char {
    EXPORT_MISSING,    // nothing: the loader refuses the importer
    EXPORT_PRESENT,    // code or data of the DLL itself
    EXPORT_FORWARDED,  // a name of another DLL's function, "DLL.Function" or "DLL.#ordinal"
    EXPORT_UNREADABLE, // the table cannot be read
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
    // that cannot be read); false after the last. The table ends, as for the
    // loader, at an entry without a name or without a table of addresses.
    bool Import(DWORD index, WCHAR name[MAX_PATH]);
    // The index-th function that the import-th DLL of the import table names;
    // false after the last, or when it cannot be read (then *unreadable).
    bool ImportedFunction(DWORD import, DWORD index, FunctionRef* function, bool* unreadable);
    // What the export table holds for function, looked up as the loader looks
    // it up: a name at its hint, else by halving the sorted name table; a
    // number less the table's base. A forward's target into forward.
    ExportKind FindExport(const FunctionRef& function, char forward[256]);
    // The manifest that the loader applies to the DLL's imports (resource
    // RT_MANIFEST, ID 2, unless the header turns isolation off) into text,
    // ended by a zero and cut to size bytes; false when there is none.
    bool Manifest(char* text, DWORD size);

private:
    static const WORD kMaxSections = 96; // the most the loader reads

    bool ReadHeaders();
    bool ReadImport(DWORD index, IMAGE_IMPORT_DESCRIPTOR* descriptor);
    bool ReadAtRva(DWORD rva, void* data, DWORD size);
    bool ReadName(DWORD rva, char* text, DWORD size);
    bool ReadExportName(DWORD index, char* name, DWORD size);
    ExportKind ExportAt(DWORD index, char forward[256]);
    bool ResourceEntry(DWORD directory, DWORD id, DWORD* entry);
    bool IsHybrid();

    ByteSource& m_bytes;
    WORD m_signature; // IMAGE_NT_SIGNATURE's low word, IMAGE_OS2_SIGNATURE, or 0
    bool m_pe64;      // the optional header is PE32+
    WORD m_dllCharacteristics;
    IMAGE_FILE_HEADER m_header;
    DWORD m_exportsRead; // 0: not read (yet, or it cannot be), 1: read, 2: there is none
    IMAGE_EXPORT_DIRECTORY m_exports;
    DWORD m_headersSize;
    WORD m_sectionCount;
    IMAGE_DATA_DIRECTORY m_directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES];
    IMAGE_SECTION_HEADER m_sections[kMaxSections];
};

#endif
