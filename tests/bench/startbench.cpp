// startbench PROGRAM_A CAPTION_A PROGRAM_B CAPTION_B RUNS
// Starts the two programs in turn, RUNS times each, and measures the time
// from CreateProcess to a visible top-level window with the given caption
// belonging to that process; then closes it. Prints each median and the ratio.
#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char text[256] = {};
    GetWindowTextA(window, text, sizeof(text));
    if (owner == search->processId && IsWindowVisible(window) && strcmp(text, search->caption) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Milliseconds from process creation to its dialog being visible; -1 on timeout.
double TimeToDialog(const std::string& program, const char* caption)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    std::vector<char> line(program.begin(), program.end());
    line.push_back('\0');
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    double elapsed = -1;
    Search search = {info.dwProcessId, caption, nullptr};
    for (int poll = 0; poll < 60000; ++poll) {
        EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            QueryPerformanceCounter(&now);
            elapsed = 1000.0 * (now.QuadPart - start.QuadPart) / frequency.QuadPart;
            break;
        }
        if (WaitForSingleObject(info.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    if (search.found)
        PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: startbench PROGRAM_A CAPTION_A PROGRAM_B CAPTION_B RUNS\n");
        return 2;
    }
    int runs = atoi(argv[5]);
    std::vector<double> a, b;
    for (int run = 0; run < runs; ++run) {
        double ta = TimeToDialog(argv[1], argv[2]);
        double tb = TimeToDialog(argv[3], argv[4]);
        if (ta < 0 || tb < 0) {
            fprintf(stderr, "run %d: a dialog did not appear\n", run + 1);
            return 1;
        }
        a.push_back(ta);
        b.push_back(tb);
    }
    double ma = Median(a), mb = Median(b);
    printf("start to visible dialog, %d alternating runs each:\n", runs);
    printf("  %-40s median %8.1f ms\n", argv[2], ma);
    printf("  %-40s median %8.1f ms\n", argv[4], mb);
    printf("  ratio %.2f\n", ma / mb);
    return 0;
}
