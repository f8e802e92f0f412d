// reportwriter - the report to a file (whole or not at all), to the standard
// output or to the console that started the program.
#include "reportwriter.h"

#include <wchar.h>

namespace {

// Whether a standard handle was redirected: to a file, a pipe or a device
// such as NUL. A GUI program that nobody redirected has none, a handle of no
// known type, or a console handle it cannot write to without attaching.
bool Redirected(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
    case FILE_TYPE_PIPE:
        return true;
    case FILE_TYPE_CHAR:
        return !GetConsoleMode(handle, &mode);
    default:
        return false;
    }
}

// The console of the program that started this one, attached to once; its
// output buffer, or INVALID_HANDLE_VALUE when there is none.
HANDLE ParentConsole()
{
    static HANDLE console = INVALID_HANDLE_VALUE;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (AttachConsole(ATTACH_PARENT_PROCESS))
            console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    }
    return console;
}

// Where a line on the standard error goes.
HANDLE ErrorOutput()
{
    HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    return Redirected(errors) ? errors : ParentConsole();
}

bool WriteAll(HANDLE file, const void* data, DWORD size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// The text of a report is a few kilobytes; as UTF-8 up to three bytes a character.
char s_utf8[3 * 8192];

} // namespace

ReportWriter::ReportWriter(const WCHAR* out)
    : m_output(INVALID_HANDLE_VALUE), m_console(false), m_errors(ErrorOutput()), m_error(0)
{
    m_target[0] = m_temporary[0] = L'\0';
    if (out[0] != L'\0') {
        // Beside the file, so that the rename stays on its volume.
        WCHAR suffix[16] = L".";
        _ultow(GetCurrentProcessId(), suffix + 1, 10);
        wcscat(suffix, L".tmp");
        const DWORD length = GetFullPathNameW(out, MAX_PATH, m_target, nullptr);
        if (length == 0 || length + wcslen(suffix) >= MAX_PATH) {
            m_error = length == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
            m_target[0] = L'\0';
            return;
        }
        wcscpy(m_temporary, m_target);
        wcscat(m_temporary, suffix);
        m_output = CreateFileW(m_temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_output == INVALID_HANDLE_VALUE) {
            m_error = GetLastError();
            m_temporary[0] = L'\0';
        }
        return;
    }
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (Redirected(output)) {
        m_output = output;
        return;
    }
    m_output = ParentConsole();
    m_console = m_output != INVALID_HANDLE_VALUE;
}

ReportWriter::~ReportWriter()
{
    if (m_temporary[0] != L'\0') {
        CloseHandle(m_output);
        DeleteFileW(m_temporary);
    }
}

bool ReportWriter::WriteUtf8(const WCHAR* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, s_utf8, sizeof(s_utf8), nullptr, nullptr);
    if (size <= 0) {
        m_error = GetLastError();
        return false;
    }
    if (!WriteAll(m_output, s_utf8, static_cast<DWORD>(size - 1))) {
        m_error = GetLastError();
        return false;
    }
    return true;
}

bool ReportWriter::Write(const WCHAR* text)
{
    if (!Ready())
        return false;
    if (m_console) {
        DWORD written = 0;
        const DWORD length = static_cast<DWORD>(wcslen(text));
        if (!WriteConsoleW(m_output, text, length, &written, nullptr) || written != length) {
            m_error = GetLastError();
            return false;
        }
        return true;
    }
    if (!WriteUtf8(text))
        return false;
    if (m_temporary[0] == L'\0')
        return true;
    // The text is on the disk before the file of that name is replaced.
    const bool flushed = FlushFileBuffers(m_output) != 0;
    m_error = flushed ? 0 : GetLastError();
    CloseHandle(m_output);
    m_output = INVALID_HANDLE_VALUE;
    if (flushed && MoveFileExW(m_temporary, m_target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        m_temporary[0] = L'\0';
        return true;
    }
    if (m_error == 0)
        m_error = GetLastError();
    DeleteFileW(m_temporary);
    m_temporary[0] = L'\0';
    return false;
}

void ReportWriter::WriteError(const WCHAR* line)
{
    if (m_errors == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (GetFileType(m_errors) == FILE_TYPE_CHAR) {
        WriteConsoleW(m_errors, line, static_cast<DWORD>(wcslen(line)), &written, nullptr);
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, s_utf8, sizeof(s_utf8), nullptr, nullptr);
    if (size > 0)
        WriteAll(m_errors, s_utf8, static_cast<DWORD>(size - 1));
}
