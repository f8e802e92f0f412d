// reportwriter.h - where the text of /check and /? goes: a file that /out
// names, else the standard output when it leads to a file or a pipe, else the
// console of the program that started Ferrotune. A file and a pipe get UTF-8,
// a console wide characters.
//
// A file is replaced whole or not at all: the text is written beside it under
// a name of its own and then renamed over it. Everything the writing needs is
// made when the writer is made, so that writing needs no more than the calls
// that write.
#ifndef FERROTUNE_REPORTWRITER_H
#define FERROTUNE_REPORTWRITER_H

#include <windows.h>

class ReportWriter {
public:
    // out: the file to replace; empty for the standard output or the console.
    explicit ReportWriter(const WCHAR* out);
    ~ReportWriter(); // removes a file it began and did not finish
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Whether there is anywhere to write: a file could be begun, the standard
    // output is redirected, or there is a console.
    bool Ready() const { return m_output != INVALID_HANDLE_VALUE; }
    // The system's error code for why a file could not be begun or written; 0 when none.
    DWORD Error() const { return m_error; }
    // Writes the whole text; false with Error() set when it could not.
    bool Write(const WCHAR* text);
    // A line on the standard error, or on the console, where there is one.
    void WriteError(const WCHAR* line);

private:
    bool WriteUtf8(const WCHAR* text);

    WCHAR m_target[MAX_PATH];    // the file to replace; empty when there is none
    WCHAR m_temporary[MAX_PATH]; // the file written beside it
    HANDLE m_output;             // where the text goes; INVALID_HANDLE_VALUE when nowhere
    bool m_console;              // m_output is a console
    HANDLE m_errors;             // the standard error or the console; INVALID_HANDLE_VALUE when none
    DWORD m_error;
};

#endif
