// democtl - small steps of the demonstration that `make run` plays without a
// user: wait for a window, send it a system command, close it.
//
//   democtl wait CAPTION SECONDS        the window is visible and has painted
//   democtl gone CAPTION SECONDS        no window has that caption any more
//   democtl syscommand CAPTION COMMAND  posts WM_SYSCOMMAND (COMMAND: 0x10, 16)
//   democtl close CAPTION               posts WM_CLOSE
//
// Exit code 0 on success, 1 when the window is missing or the time ran out,
// 2 for a wrong command line.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

HWND VisibleWindow(const char* caption)
{
    HWND window = FindWindowA(nullptr, caption);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

// Polls every 100 ms until done() or the time is up.
template <class Done> bool WaitFor(Done done, long seconds)
{
    for (long waited = 0; waited <= seconds * 1000; waited += 100) {
        if (done())
            return true;
        Sleep(100);
    }
    return false;
}

int Wait(const char* caption, long seconds)
{
    HWND window = nullptr;
    if (!WaitFor([&] { return (window = VisibleWindow(caption)) != nullptr; }, seconds)) {
        fprintf(stderr, "democtl: no visible window \"%s\"\n", caption);
        return 1;
    }
    // Repainted and idle: the redraw is sent to the window's own thread, which
    // must have painted everything when the call returns.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    DWORD_PTR ignored;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored);
    return 0;
}

int Gone(const char* caption, long seconds)
{
    if (WaitFor([&] { return FindWindowA(nullptr, caption) == nullptr; }, seconds))
        return 0;
    fprintf(stderr, "democtl: window \"%s\" is still there\n", caption);
    return 1;
}

int Post(const char* caption, UINT message, WPARAM wParam)
{
    HWND window = FindWindowA(nullptr, caption);
    if (window == nullptr || !PostMessageA(window, message, wParam, 0)) {
        fprintf(stderr, "democtl: cannot post to \"%s\"\n", caption);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "wait") == 0)
        return Wait(argv[2], atol(argv[3]));
    if (argc == 4 && strcmp(argv[1], "gone") == 0)
        return Gone(argv[2], atol(argv[3]));
    if (argc == 4 && strcmp(argv[1], "syscommand") == 0)
        return Post(argv[2], WM_SYSCOMMAND, strtoul(argv[3], nullptr, 0));
    if (argc == 3 && strcmp(argv[1], "close") == 0)
        return Post(argv[2], WM_CLOSE, 0);
    fprintf(stderr, "usage: democtl wait|gone CAPTION SECONDS | syscommand CAPTION COMMAND | close CAPTION\n");
    return 2;
}
