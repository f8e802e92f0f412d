// lumaret.h - the core library's one public header.
//
// Entry points, classes, constants and process-wide values of the library.
// All text is 8-bit; the "A" forms of the Windows calls are used throughout.
#ifndef LUMARET_H
#define LUMARET_H

#include <stdarg.h>
#include <windows.h>

// ---------------------------------------------------------------------------
// Result codes of the library's entry points (catalogue facilities 2 and 3)
// ---------------------------------------------------------------------------
const unsigned long CXRES_OK = 0x00000000;             // success
const unsigned long CXRES_UNHANDLED = 0x80000000;      // initialisation counter at its maximum
const unsigned long CXRES_CREATEFAILED = 0x80000001;   // static initialisation has not run
const unsigned long CXRES_OUTOFRANGE = 0x80000003;     // the trace sink could not be made
const unsigned long CXRES_OUTOFMEMORY = 0x80001000;    // a memory allocation has failed
const unsigned long CXRES_NOTINITIALIZED = 0x00000001; // LumaretUninitialize on a library that is down

// ---------------------------------------------------------------------------
// Library lifetime (unit xlib)
// ---------------------------------------------------------------------------
const unsigned long CX_LIBRARY_MAGIC = 0x76543210;

class CxTrace;

extern unsigned long g_initCount;    // outstanding initialisations; 0 = library down
extern unsigned long g_libraryMagic; // CX_LIBRARY_MAGIC once static initialisation has run
extern CxTrace* g_trace;             // the trace sink; null while the library is down

// Brings the library up (reference-counted). Returns CXRES_OK, or CXRES_UNHANDLED,
// CXRES_CREATEFAILED or CXRES_OUTOFRANGE; a failed call leaves the counter unchanged.
unsigned long LumaretInitialize();
// Takes one initialisation back. Returns CXRES_OK, or CXRES_NOTINITIALIZED when down.
unsigned long LumaretUninitialize();

// ---------------------------------------------------------------------------
// Trace sink (unit trace)
// ---------------------------------------------------------------------------
const unsigned long CXTRACE_ENTERING = 0x00000001;    // "Entering "
const unsigned long CXTRACE_EXITING = 0x00000002;     // "Exiting  "
const unsigned long CXTRACE_MESSAGE = 0x00010000;     // no prefix of its own
const unsigned long CXTRACE_FUNCTION = 0x00020000;    // "Function    "
const unsigned long CXTRACE_CONSTRUCTOR = 0x00040000; // "Constructor "
const unsigned long CXTRACE_DESTRUCTOR = 0x00080000;  // "Destructor  "

extern unsigned long g_traceMask; // trace filter; all bits set

// Trace lines are formatted by the system C runtime's printf, msvcrt, which on
// Windows XP knows no ll size (a 64-bit value is %I64d, %I64u, %I64x), no z,
// hh, j or t, no %a, %A or %F, no ' flag, and reads %Lf as a double. GCC's
// ms_printf check, below, matches a format's arguments to its conversions but
// lets ll, %a, %A and ' pass; CxIsMsvcrtXpFormat holds a format to what
// Windows XP's msvcrt prints, and LumaretTrace applies it to every call.
#if defined(__GNUC__)
#define CX_MSVCRT_FORMAT(formatIndex, firstArgument) __attribute__((format(ms_printf, formatIndex, firstArgument)))
#else
#define CX_MSVCRT_FORMAT(formatIndex, firstArgument)
#endif

// Whether c, not the terminating zero, is one of the characters of set.
constexpr bool CxIsCharIn(char c, const char* set)
{
    while (*set != '\0' && *set != c)
        ++set;
    return c != '\0' && *set == c;
}

// The end of a width or precision that starts at text: '*' or digits.
constexpr const char* CxSkipFieldSize(const char* text)
{
    if (*text == '*')
        return text + 1;
    while (*text >= '0' && *text <= '9')
        ++text;
    return text;
}

// Whether every conversion of format is one that Windows XP's msvcrt prints:
// flags "-+ #0", a width and a precision as digits or '*', a size h, l, L or
// I64, and one of the conversions c C d i o u x X e E f g G n p s S %.
constexpr bool CxIsMsvcrtXpFormat(const char* format)
{
    while (*format != '\0') {
        if (*format++ != '%')
            continue;
        while (CxIsCharIn(*format, "-+ #0"))
            ++format;
        format = CxSkipFieldSize(format);
        if (*format == '.')
            format = CxSkipFieldSize(format + 1);
        if (format[0] == 'I' && format[1] == '6' && format[2] == '4')
            format += 3;
        else if (CxIsCharIn(*format, "hlL"))
            ++format;
        if (!CxIsCharIn(*format++, "cCdiouxXeEfgGnpsS%"))
            return false;
    }
    return true;
}

class CxTrace {
public:
    virtual ~CxTrace();
    // Writes one line to the debugger output: "Trace: ", the prefixes that flags
    // select, then the message formatted with msvcrt conversions. Uses no state
    // of a sink object. The format is a variadic caller's, checked at that
    // caller's calls as LumaretTrace's are; one written straight into a call of
    // Write gets GCC's check alone.
    static void Write(unsigned long flags, const char* format, va_list args) CX_MSVCRT_FORMAT(2, 0);
};

// printf-style trace line (msvcrt conversions) with CXTRACE_MESSAGE; works with
// or without a sink.
void LumaretTrace(const char* format, ...) CX_MSVCRT_FORMAT(1, 2);

// Every call of LumaretTrace is a call of the function above whose format, a
// constant, has first been held to CxIsMsvcrtXpFormat at compile time.
#define CX_FIRST_ARGUMENT(first, ...) first
#define LumaretTrace(...)                                                                                              \
    do {                                                                                                               \
        static_assert(CxIsMsvcrtXpFormat(CX_FIRST_ARGUMENT(__VA_ARGS__, 0)),                                           \
                      "trace format: Windows XP's msvcrt cannot print it (64 bits: %I64d, %I64u, %I64x)");             \
        LumaretTrace(__VA_ARGS__);                                                                                     \
    } while (0)

// ---------------------------------------------------------------------------
// Reference-counted string (unit xstring)
// ---------------------------------------------------------------------------
// One heap block per value: three 32-bit header words, then the characters and
// a terminating zero. The block's allocated size is length + 13.
struct CxStringData {
    unsigned long m_allocSize; // length + 13
    unsigned long m_refCount;  // strings that point to the block
    unsigned long m_length;    // characters, the terminator not counted
    char m_text[1];            // the first of length + 1 characters; the block is sized for all of them
    char* Chars() { return m_text; }
};

// The block's size without its characters and their terminator.
const unsigned long CXSTRING_HEADER_SIZE = 12;

// The shared block of every string made from a null text; never freed.
extern CxStringData g_emptyStringData;

class CxString {
public:
    explicit CxString(const char* text);
    // Copying is not offered: no part of the library shares a block between strings.
    CxString(const CxString&) = delete;
    CxString& operator=(const CxString&) = delete;
    virtual ~CxString();

    // Replaces the value by a copy of text (null: the shared empty block); on
    // failure the string keeps its value. Returns the string itself.
    CxString& Assign(const char* text);
    // Null for the shared empty block, else the block's characters.
    const char* Text() const;
    // A new block for length characters, holding the empty text with count 1;
    // raises CxException without memory.
    static CxStringData* AllocData(unsigned long length);

    CxStringData* Data() const { return m_data; }

private:
    void Release();
    CxStringData* m_data;
};

// ---------------------------------------------------------------------------
// Error catalogue (unit errortext)
// ---------------------------------------------------------------------------
// The message text for a flag word's facility and a code, as a new heap string
// owned by the caller; null when that object cannot be allocated.
CxString* LumaretErrorText(unsigned long flags, unsigned long code);

// ---------------------------------------------------------------------------
// Exception (unit exception)
// ---------------------------------------------------------------------------
const unsigned long CXERR_FACILITY_MASK = 0x0000FFFF;
const unsigned long CXERR_MESSAGEBOX = 0x00020000;
const unsigned long CXERR_CONSOLE = 0x00080000;
const unsigned long CXERR_SHORTFILE = 0x00100000;

class CxUniqueObject {
public:
    virtual ~CxUniqueObject();
};

class CxObject : public virtual CxUniqueObject {
public:
    virtual ~CxObject();
};

// The library's one error type. Its construction is the report: a trace line,
// the catalogue text, and a message box and console line as the flags ask.
class CxException : public CxObject {
public:
    CxException(unsigned long flags, unsigned long code, const char* file, unsigned long line);
    CxException(const CxException& other); // copies the four words; no report
    virtual ~CxException();

    unsigned long m_flags;
    unsigned long m_code;
    unsigned long m_reserved; // always 0
    unsigned long m_line;
};

// ---------------------------------------------------------------------------
// System profile and CPU identification (units xlib and cpuinfo)
// ---------------------------------------------------------------------------
const unsigned long CXCPU_MMX = 0x01;
const unsigned long CXCPU_3DNOW = 0x02;
const unsigned long CXCPU_SSE = 0x04;
const unsigned long CXCPU_MMXEXT = 0x08;
const unsigned long CXCPU_PSN = 0x10;
const unsigned long CXCPU_3DNOWEXT = 0x20;

class CxCpuInfo {
public:
    CxCpuInfo(); // identifies the processor into m_features
    virtual ~CxCpuInfo();

    unsigned long m_features;
};

class CxSystemInfo {
public:
    // Fills the version record, the processor count and the feature mask;
    // raises CxException when the version query fails.
    void Collect();

    OSVERSIONINFOA m_osVersion;
    long m_processorCount;
    unsigned long m_cpuFeatures;
};

extern CxSystemInfo g_systemInfo;

// ---------------------------------------------------------------------------
// Display pixel format (unit xlib)
// ---------------------------------------------------------------------------
const unsigned long CXPIXFMT_UNKNOWN = 0x0000;
const unsigned long CXPIXFMT_1BPP = 0x8000;
const unsigned long CXPIXFMT_4BPP = 0x8001;
const unsigned long CXPIXFMT_8BPP = 0x8002;
const unsigned long CXPIXFMT_RGB555 = 0x8003;
const unsigned long CXPIXFMT_RGB565 = 0x8004;
const unsigned long CXPIXFMT_RGB24 = 0x8005;
const unsigned long CXPIXFMT_RGB32 = 0x8006;

extern unsigned long g_pixelFormat;
extern unsigned long g_redBits;
extern unsigned long g_greenBits;
extern unsigned long g_blueBits;

// Measures the desktop's pixel format; failures leave 0 in the outputs.
void CxGetDisplayFormat(unsigned long* format, unsigned long* redBits, unsigned long* greenBits,
                        unsigned long* blueBits);

// ---------------------------------------------------------------------------
// Registry key (unit registry)
// ---------------------------------------------------------------------------
// The owner of one open registry key. Every call the system refuses is raised
// as CxException (flag word 0x190004, the system's code, the operation's line);
// the object is then left as it was at the failing call.
class CxRegistryKey {
public:
    CxRegistryKey(); // holds no key
    // One owner per handle: a copy would close the key twice.
    CxRegistryKey(const CxRegistryKey&) = delete;
    CxRegistryKey& operator=(const CxRegistryKey&) = delete;
    // Closes an open key without flushing; a refused close is reported, not thrown.
    virtual ~CxRegistryKey();

    // Closes a held key (no flush), then creates or opens one with the arguments
    // unchanged; returns REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
    unsigned long Create(HKEY root, const char* path, char* className, unsigned long options, REGSAM access,
                         LPSECURITY_ATTRIBUTES security);
    // Closes the key, flushing first when selector is exactly 1. Returns 0.
    long Close(long selector);
    // Writes the key to storage.
    void Flush();
    // Sets one value with the arguments unchanged. Returns 0.
    long SetValue(const char* name, unsigned long type, const BYTE* data, unsigned long size);
    // Sets a REG_SZ value whose size counts the terminating zero. Returns 0.
    long SetString(const char* name, const char* text);

    HKEY Handle() const { return m_hKey; } // null when no key is open

private:
    HKEY m_hKey;
};

#endif // LUMARET_H
