// exception - the library's error type. Constructing one is the report: a
// trace line, the catalogue's text, then a message box and a console line as
// the flag word asks.
#include "lumaret.h"

#include "errortext.h"
#include "pathsplit.h"
#include "reportseam.h"

#include <stdio.h>

#include <memory>

CxMessageBoxFunction g_reportMessageBox = MessageBoxA;

namespace {

constexpr char kTraceFormat[] = "Exception thrown in file %s(%lu)\n";
const char kShortFileFormat[] = "%s (%lu): %s\n";
const char kErrorFormat[] = "ERROR: %s\n";
const char kCaption[] = "Exception Error";
const DWORD kSystemTextSize = 1024;
// No owner is given, so task-modal disables every top-level window of the thread.
const UINT kMessageBoxStyle = MB_TASKMODAL | MB_ICONERROR;

// Reports under way on this process. A report makes heap strings, and a string
// that cannot be made raises a new exception, whose own report would need the
// heap again; an exception raised while another reports therefore makes its
// report without heap strings, so that the chain ends with it.
unsigned long s_reportsRunning = 0;

class ReportScope {
public:
    ReportScope() { ++s_reportsRunning; }
    ~ReportScope() { --s_reportsRunning; }
};

// "%s" with a null pointer is undefined; the report writes "(null)" itself.
const char* Printable(const char* text)
{
    return text != nullptr ? text : "(null)";
}

void ShowMessageBox(unsigned long flags, const char* text)
{
    if (flags & CXERR_MESSAGEBOX)
        g_reportMessageBox(nullptr, text, kCaption, kMessageBoxStyle);
}

// Console lines are written by the system C runtime's printf (__ms_printf is
// msvcrt's own), not mingw-w64's larger copy; both print %s and %lu alike.
// They are flushed at once: an exception that nobody catches ends the
// process without flushing standard output.
void PrintShortFileLine(const char* shortName, unsigned long line, const char* text)
{
    __ms_printf(kShortFileFormat, Printable(shortName), line, Printable(text));
    fflush(stdout);
}

void PrintErrorLine(const char* text)
{
    __ms_printf(kErrorFormat, Printable(text));
    fflush(stdout);
}

bool WantsShortFileLine(unsigned long flags)
{
    return (flags & CXERR_CONSOLE) && (flags & CXERR_SHORTFILE);
}

// The report as the library makes it: the file name, the message and the short
// name are heap strings. Their destructors release them when a nested
// exception abandons the report.
void ReportWithStrings(unsigned long flags, unsigned long code, const char* file, unsigned long line)
{
    CxString fileName(file);
    LumaretTrace(kTraceFormat, Printable(fileName.Text()), line);

    // A catalogue that could not make its string object gives the empty text.
    std::unique_ptr<CxString> message(LumaretErrorText(flags, code));
    const char* text = message ? message->Text() : nullptr;

    ShowMessageBox(flags, text);
    if (WantsShortFileLine(flags)) {
        char shortBuffer[CXPATH_BUFFER_SIZE];
        CxShortFileName(file, shortBuffer, CP_ACP);
        CxString shortName(shortBuffer);
        PrintShortFileLine(shortName.Text(), line, text);
    } else if (flags & CXERR_CONSOLE) {
        PrintErrorLine(text);
    }
}

// The same report for an exception raised inside another one's report: every
// text stays on the stack or in constant data.
void ReportOnStack(unsigned long flags, unsigned long code, const char* file, unsigned long line)
{
    LumaretTrace(kTraceFormat, Printable(file), line);

    char systemText[kSystemTextSize];
    const char* text = CxFixedErrorText(flags, code);
    if (CxIsSystemErrorFacility(flags)) {
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), systemText, kSystemTextSize, nullptr);
        text = length != 0 ? systemText : nullptr;
    }

    ShowMessageBox(flags, text);
    if (WantsShortFileLine(flags)) {
        char shortName[CXPATH_BUFFER_SIZE];
        CxShortFileName(file, shortName, CP_ACP);
        PrintShortFileLine(shortName, line, text);
    } else if (flags & CXERR_CONSOLE) {
        PrintErrorLine(text);
    }
}

} // namespace

CxUniqueObject::~CxUniqueObject() {}

CxObject::~CxObject() {}

// Stores the four words and reports the error. file is the raising source's
// path; it is used for the report only and not kept. When a string of the
// report cannot be made, the exception that the string raises travels in place
// of this one.
CxException::CxException(unsigned long flags, unsigned long code, const char* file, unsigned long line)
    : m_flags(flags), m_code(code), m_reserved(0), m_line(line)
{
    bool nested = s_reportsRunning != 0;
    ReportScope scope;
    if (nested)
        ReportOnStack(flags, code, file, line);
    else
        ReportWithStrings(flags, code, file, line);
}

// A copy carries the same four words and repeats no report.
CxException::CxException(const CxException& other)
    : CxUniqueObject(other), CxObject(other), m_flags(other.m_flags), m_code(other.m_code),
      m_reserved(other.m_reserved), m_line(other.m_line)
{
}

CxException::~CxException() {}
