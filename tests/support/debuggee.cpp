// debuggee.cpp - a minimal debugger: debugger output, standard output, exit code.
#include "debuggee.h"

#include <string.h>

namespace {

// The environment block for CreateProcessA: this process's own entries plus extras.
std::string BuildEnvironment(const std::vector<std::string>& extra)
{
    std::string block;
    char* current = GetEnvironmentStringsA();
    for (const char* entry = current; *entry != '\0'; entry += strlen(entry) + 1) {
        block += entry;
        block += '\0';
    }
    FreeEnvironmentStringsA(current);
    for (const std::string& entry : extra) {
        block += entry;
        block += '\0';
    }
    block += '\0';
    return block;
}

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size())) - 1);
    return wide;
}

std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    if (info.fUnicode || info.nDebugStringLength == 0)
        return std::string();
    std::string text(info.nDebugStringLength, '\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, info.lpDebugStringData, &text[0], text.size(), &read))
        return std::string();
    text.resize(read);
    size_t end = text.find('\0');
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

} // namespace

Debuggee::~Debuggee()
{
    if (m_debugThread.joinable()) {
        if (!Exited())
            Terminate();
        WaitForExit(30000);
        if (m_debugThread.joinable())
            m_debugThread.join();
    }
    if (m_outputThread.joinable())
        m_outputThread.join();
    if (m_started)
        CloseHandle(m_started);
    if (m_exited)
        CloseHandle(m_exited);
}

bool Debuggee::Start(const std::string& commandLine, const std::vector<std::string>& environment,
                     const std::string& folder, bool debugged)
{
    m_started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_exited = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_debugged = debugged;
    m_debugThread = std::thread(&Debuggee::Run, this, commandLine, environment, folder);
    WaitForSingleObject(m_started, INFINITE);
    return !m_startFailed;
}

void Debuggee::Run(std::string commandLine, std::vector<std::string> environment, std::string folder)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = m_mergeErrors ? writeEnd : GetStdHandle(STD_ERROR_HANDLE);

    // The command line as UTF-16, so that it can name any file; the
    // environment block stays ANSI, which CreateProcessW takes as well.
    std::string environmentBlock = BuildEnvironment(environment);
    std::vector<WCHAR> mutableLine(commandLine.size() + 1);
    MultiByteToWideChar(CP_UTF8, 0, commandLine.c_str(), -1, mutableLine.data(), static_cast<int>(mutableLine.size()));
    // Wine fails a start now and then with ERROR_INTERNAL_ERROR: the new
    // process ended with no exit code before it told the Wine server that its
    // start-up was done (seen just after another program's unhandled
    // exception had Wine start its crash debugger). Such a start is tried
    // again; any other failure, or the same one three times, is reported.
    PROCESS_INFORMATION info = {};
    BOOL created = FALSE;
    for (int attempt = 0; attempt < 3; ++attempt) {
        created = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE,
                                 m_debugged ? DEBUG_ONLY_THIS_PROCESS : 0, environmentBlock.data(),
                                 folder.empty() ? nullptr : Wide(folder).c_str(), &startup, &info);
        if (created || GetLastError() != ERROR_INTERNAL_ERROR)
            break;
        Sleep(500);
    }
    CloseHandle(writeEnd);
    if (!created) {
        m_startError = GetLastError();
        CloseHandle(readEnd);
        m_startFailed = true;
        SetEvent(m_started);
        SetEvent(m_exited);
        return;
    }
    m_process = info.hProcess;
    m_processId = info.dwProcessId;
    CloseHandle(info.hThread);
    m_outputThread = std::thread(&Debuggee::ReadOutput, this, readEnd);
    SetEvent(m_started);

    if (!m_debugged) {
        DWORD exitCode = STILL_ACTIVE;
        WaitForSingleObject(m_process, INFINITE);
        GetExitCodeProcess(m_process, &exitCode);
        std::lock_guard<std::mutex> guard(m_lock);
        m_exitCode = exitCode;
    }
    while (m_debugged) {
        DEBUG_EVENT event = {};
        if (!WaitForDebugEvent(&event, INFINITE))
            break;
        DWORD continueStatus = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        case OUTPUT_DEBUG_STRING_EVENT: {
            std::string text = ReadDebugString(m_process, event.u.DebugString);
            std::lock_guard<std::mutex> guard(m_lock);
            m_debugLines.push_back(text);
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            // The loader's initial breakpoint is ours to swallow; every other
            // exception goes back to the child's own handlers.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT ||
                !event.u.Exception.dwFirstChance)
                continueStatus = DBG_EXCEPTION_NOT_HANDLED;
            break;
        default:
            break;
        }
        bool ended = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT;
        if (ended) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_exitCode = event.u.ExitProcess.dwExitCode;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
        if (ended)
            break;
    }
    if (m_outputThread.joinable())
        m_outputThread.join();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_exitedFlag = true;
    }
    SetEvent(m_exited);
}

void Debuggee::ReadOutput(HANDLE pipe)
{
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(pipe, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_output.append(chunk, read);
    }
    CloseHandle(pipe);
}

bool Debuggee::WaitForExit(DWORD timeoutMs)
{
    if (!m_exited)
        return true;
    if (WaitForSingleObject(m_exited, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (m_debugThread.joinable())
        m_debugThread.join();
    return true;
}

void Debuggee::Terminate()
{
    if (m_process && !Exited())
        TerminateProcess(m_process, 0xDEAD);
}

bool Debuggee::Exited() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_exitedFlag;
}

DWORD Debuggee::ExitCode() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_exitCode;
}

std::vector<std::string> Debuggee::DebugLines() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_debugLines;
}

std::string Debuggee::StandardOutput() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string text;
    for (size_t i = 0; i < m_output.size(); ++i) {
        if (m_output[i] == '\r' && i + 1 < m_output.size() && m_output[i + 1] == '\n')
            continue;
        text += m_output[i];
    }
    return text;
}

DebugCapture RunUnderDebugger(const std::string& commandLine, DWORD timeoutMs,
                              const std::vector<std::string>& environment)
{
    DebugCapture capture;
    Debuggee child;
    if (!child.Start(commandLine, environment))
        return capture;
    capture.finished = child.WaitForExit(timeoutMs);
    if (!capture.finished) {
        child.Terminate();
        child.WaitForExit(30000);
    }
    capture.exitCode = child.ExitCode();
    capture.debugLines = child.DebugLines();
    capture.standardOutput = child.StandardOutput();
    return capture;
}

std::string ThisProgramPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return path;
}

std::string ThisProgramFolder()
{
    std::string path = ThisProgramPath();
    return path.substr(0, path.find_last_of("\\/") + 1);
}
