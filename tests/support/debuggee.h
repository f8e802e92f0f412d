// debuggee.h - runs a program as a debugger does and collects what it says:
// its debugger-output lines, its standard output and its exit code.
#ifndef FERROTUNE_TESTS_DEBUGGEE_H
#define FERROTUNE_TESTS_DEBUGGEE_H

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A child process started with DEBUG_ONLY_THIS_PROCESS. The debug loop runs on
// a thread of its own (a debugger must wait on the thread that started the
// child), so the caller is free to drive the child's windows meanwhile.
class Debuggee {
public:
    Debuggee() = default;
    Debuggee(const Debuggee&) = delete;
    Debuggee& operator=(const Debuggee&) = delete;
    ~Debuggee(); // ends a child that is still running

    // Starts commandLine (program and arguments, quoted as CreateProcess wants;
    // UTF-8). Extra environment entries "NAME=value" are added to this
    // process's own; folder is its current folder (empty: this process's).
    // Not debugged, the child runs as a user starts it (the system then calls
    // its unhandled-exception filter), and says nothing to the debugger.
    bool Start(const std::string& commandLine, const std::vector<std::string>& environment = {},
               const std::string& folder = std::string(), bool debugged = true);
    // Waits for the child to end; false on timeout (the child is left running).
    bool WaitForExit(DWORD timeoutMs);
    void Terminate();

    DWORD ProcessId() const { return m_processId; }
    DWORD StartError() const { return m_startError; } // why Start failed
    bool Exited() const;
    DWORD ExitCode() const;
    // Each OUTPUT_DEBUG_STRING_EVENT's text, exactly as the child sent it.
    std::vector<std::string> DebugLines() const;
    // The child's standard output, with CR LF turned into LF; with its
    // standard error too when that was asked for before Start.
    std::string StandardOutput() const;
    void MergeErrorsIntoOutput() { m_mergeErrors = true; }

private:
    void Run(std::string commandLine, std::vector<std::string> environment, std::string folder);
    void ReadOutput(HANDLE pipe);

    mutable std::mutex m_lock;
    std::thread m_debugThread;
    std::thread m_outputThread;
    HANDLE m_started = nullptr; // event: the child exists (or creation failed)
    HANDLE m_exited = nullptr;  // event: the debug loop has ended
    HANDLE m_process = nullptr;
    DWORD m_processId = 0;
    bool m_debugged = true;
    bool m_startFailed = false;
    DWORD m_startError = 0;
    bool m_mergeErrors = false;
    bool m_exitedFlag = false;
    DWORD m_exitCode = STILL_ACTIVE;
    std::vector<std::string> m_debugLines;
    std::string m_output;
};

// What one finished run gave.
struct DebugCapture {
    bool finished = false; // ended within the timeout
    DWORD exitCode = 0;
    std::vector<std::string> debugLines;
    std::string standardOutput; // LF line ends
};

// Runs commandLine to its end under the debugger (ends it after timeoutMs).
DebugCapture RunUnderDebugger(const std::string& commandLine, DWORD timeoutMs = 60000,
                              const std::vector<std::string>& environment = {});

// The full path of the running program.
std::string ThisProgramPath();
// The folder of the running program, with a trailing backslash.
std::string ThisProgramFolder();

#endif
