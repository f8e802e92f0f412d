// harness.cpp - finding, reading and driving another process's windows, the
// stand-in compressor's log, and one run of the program under the debugger.
#include "harness.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <sstream>

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------
std::string WindowText(HWND window)
{
    WCHAR text[2048] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return Utf8(text);
}

std::string WindowClass(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

namespace {

struct WindowFilter {
    DWORD processId;
    const char* caption;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM context)
{
    WindowFilter* filter = reinterpret_cast<WindowFilter*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (filter->processId != 0 && owner != filter->processId)
        return TRUE;
    if (filter->caption && WindowText(window) != filter->caption)
        return TRUE;
    if (filter->visibleOnly && !IsWindowVisible(window))
        return TRUE;
    filter->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> TopLevelWindows(DWORD processId, const char* caption)
{
    WindowFilter filter = {processId, caption, false, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&filter));
    return filter.found;
}

std::vector<HWND> VisibleTopLevelWindows(DWORD processId)
{
    WindowFilter filter = {processId, nullptr, true, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&filter));
    return filter.found;
}

std::vector<HWND> ChildWindows(HWND parent)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

HWND FindChild(HWND parent, const char* windowClass, const char* text)
{
    for (HWND child : ChildWindows(parent)) {
        if (_stricmp(WindowClass(child).c_str(), windowClass) == 0 && WindowText(child) == text)
            return child;
    }
    return nullptr;
}

std::vector<std::string> StaticTexts(HWND dialog)
{
    std::vector<std::string> texts;
    for (HWND child : ChildWindows(dialog)) {
        if (_stricmp(WindowClass(child).c_str(), "Static") == 0 && IsWindowVisible(child) && !WindowText(child).empty())
            texts.push_back(WindowText(child));
    }
    return texts;
}

void Click(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

namespace {

// The control that has the focus in window's thread; window when none has.
HWND Focus(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus != nullptr)
        return info.hwndFocus;
    return window;
}

} // namespace

void PressEscape(HWND window)
{
    HWND target = Focus(window);
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

void PressAltF4(HWND window)
{
    HWND target = Focus(window);
    PostMessageA(target, WM_SYSKEYDOWN, VK_F4, 0x203E0001); // scan code 0x3E, Alt held (KF_ALTDOWN)
    PostMessageA(target, WM_SYSKEYUP, VK_F4, 0xE03E0001);
}

void PostSystemCommand(HWND window, WPARAM command)
{
    PostMessageA(window, WM_SYSCOMMAND, command, 0);
}

bool Minimise(HWND window)
{
    // Under Wine on a display without a window manager, a window that has
    // only just been mapped can be restored again by the late notices of its
    // mapping, undoing a minimise that came too early. So ask again until
    // the window has stayed minimised for a second.
    for (int attempt = 0; attempt < 5; ++attempt) {
        PostSystemCommand(window, SC_MINIMIZE);
        if (!WaitUntil([&] { return IsIconic(window) != FALSE; }, 5000))
            continue;
        Sleep(1000);
        if (IsIconic(window))
            return true;
    }
    return false;
}

bool OpenSystemMenu(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    PostMessageA(window, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    return WaitUntil(
        [&] {
            for (HWND popup : TopLevelWindows(processId, nullptr)) {
                if (WindowClass(popup) == "#32768" && IsWindowVisible(popup))
                    return true;
            }
            return false;
        },
        15000);
}

void PressKey(HWND window, WPARAM key)
{
    PostMessageA(window, WM_KEYDOWN, key, 0x00000001);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

namespace {

const char kDecoyClass[] = "FerrotuneTestDecoy";
const UINT kTakeForeground = WM_APP + 1;

LRESULT CALLBACK DecoyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case kTakeForeground:
        SetForegroundWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

ForegroundDecoy::ForegroundDecoy()
{
    m_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = CreateThread(nullptr, 0, ThreadMain, this, 0, &m_threadId);
    WaitForSingleObject(m_ready, kWaitMs);
}

ForegroundDecoy::~ForegroundDecoy()
{
    if (m_window)
        PostMessageA(m_window, WM_CLOSE, 0, 0);
    WaitForSingleObject(m_thread, kWaitMs);
    CloseHandle(m_thread);
    CloseHandle(m_ready);
}

DWORD WINAPI ForegroundDecoy::ThreadMain(void* self)
{
    ForegroundDecoy* decoy = static_cast<ForegroundDecoy*>(self);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DecoyProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kDecoyClass;
    RegisterClassA(&windowClass); // fails harmlessly when a previous decoy registered it
    decoy->m_window = CreateWindowExA(0, kDecoyClass, "Ferrotune test decoy", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                      200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetEvent(decoy->m_ready);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

bool ForegroundDecoy::TakeForeground()
{
    if (!m_window)
        return false;
    PostMessageA(m_window, kTakeForeground, 0, 0);
    return WaitUntil([this] { return GetForegroundWindow() == m_window; }, 15000);
}

// ---------------------------------------------------------------------------
// The stand-in compressor's log
// ---------------------------------------------------------------------------
namespace {

// The value of key=value in a log line, or "" when the line has no such key.
std::string Field(const std::string& line, const char* key)
{
    std::istringstream words(line);
    std::string word;
    std::string prefix = std::string(key) + "=";
    while (words >> word) {
        if (word.compare(0, prefix.size(), prefix) == 0)
            return word.substr(prefix.size());
    }
    return std::string();
}

unsigned long long Number(const std::string& text)
{
    return strtoull(text.c_str(), nullptr, 0);
}

} // namespace

CompressorLog::CompressorLog()
{
    static unsigned s_counter = 0;
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof(folder), folder);
    char name[MAX_PATH];
    snprintf(name, sizeof(name), "%sstandin-qv4z-%lu-%u.log", folder, GetCurrentProcessId(), ++s_counter);
    m_path = name;
    DeleteFileA(m_path.c_str());
}

CompressorLog::~CompressorLog()
{
    DeleteFileA(m_path.c_str());
}

std::vector<std::string> CompressorLog::Lines() const
{
    std::vector<std::string> lines;
    FILE* file = fopen(m_path.c_str(), "rb");
    if (!file)
        return lines;
    std::string text;
    char chunk[4096];
    size_t read;
    while ((read = fread(chunk, 1, sizeof(chunk), file)) > 0)
        text.append(chunk, read);
    fclose(file);
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

std::vector<CompressorMessage> CompressorLog::Messages() const
{
    std::vector<CompressorMessage> messages;
    for (const std::string& line : Lines()) {
        std::string number = Field(line, "msg");
        if (number.empty())
            continue;
        CompressorMessage message;
        message.processId = static_cast<DWORD>(Number(Field(line, "pid")));
        message.message = static_cast<unsigned>(Number(number));
        message.driverId = Number(Field(line, "id"));
        message.param1 = Number(Field(line, "p1"));
        message.param2 = Number(Field(line, "p2"));
        message.type = Field(line, "type");
        message.handler = Field(line, "handler");
        message.mode = static_cast<unsigned long>(Number(Field(line, "mode")));
        message.opened = Number(Field(line, "opened"));
        messages.push_back(message);
    }
    return messages;
}

std::vector<CompressorMessage> CompressorLog::Messages(unsigned message) const
{
    std::vector<CompressorMessage> selected;
    for (const CompressorMessage& logged : Messages()) {
        if (logged.message == message)
            selected.push_back(logged);
    }
    return selected;
}

std::vector<CompressorDialog> CompressorLog::Dialogs() const
{
    std::vector<CompressorDialog> dialogs;
    for (const std::string& line : Lines()) {
        std::string kind = Field(line, "dialog");
        if (kind.empty())
            continue;
        CompressorDialog dialog;
        dialog.processId = static_cast<DWORD>(Number(Field(line, "pid")));
        dialog.kind = kind;
        dialog.window = Number(Field(line, "hwnd"));
        dialog.owner = Number(Field(line, "owner"));
        dialogs.push_back(dialog);
    }
    return dialogs;
}

std::vector<MenuItem> CompressorLog::OwnerSystemMenu() const
{
    std::vector<MenuItem> items;
    for (const std::string& line : Lines()) {
        std::string position = Field(line, "menuitem");
        if (position.empty())
            continue;
        if (Number(position) == 0)
            items.clear(); // a new listing begins
        MenuItem item;
        item.id = static_cast<unsigned>(Number(Field(line, "id")));
        item.separator = (Number(Field(line, "type")) & MFT_SEPARATOR) != 0;
        size_t text = line.find(" text=");
        if (text != std::string::npos)
            item.text = line.substr(text + 6);
        items.push_back(item);
    }
    return items;
}

std::vector<FaultSite> CompressorLog::FaultSites() const
{
    std::vector<FaultSite> sites;
    for (const std::string& line : Lines()) {
        FaultSite site;
        site.mode = Field(line, "fault");
        site.from = Number(Field(line, "from"));
        site.to = Number(Field(line, "to"));
        if (!site.mode.empty())
            sites.push_back(site);
    }
    return sites;
}

std::string CompressorLog::Text() const
{
    std::string text = "compressor log:\n";
    for (const std::string& line : Lines())
        text += "  " + line + "\n";
    return text;
}

// ---------------------------------------------------------------------------
// The installation a scenario runs with
// ---------------------------------------------------------------------------
std::string Utf8(const WCHAR* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(strlen(utf8.c_str()));
    return utf8;
}

std::wstring Wide(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], size);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

namespace {

const WCHAR kDriversKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const WCHAR kDriverValue[] = L"vidc.QV4Z";
// The program's own registry view, and the one of the other kind of program
// (which exists on 64-bit Windows only).
const REGSAM kOwnView = 0;
const REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// The vidc.QV4Z entry of one registry view: its value, or "" when there is none.
std::string DriverEntry(REGSAM view)
{
    WCHAR dll[MAX_PATH] = {};
    DWORD size = sizeof(dll) - sizeof(WCHAR);
    HKEY drivers = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriversKey, 0, KEY_QUERY_VALUE | view, &drivers) != ERROR_SUCCESS)
        return std::string();
    RegQueryValueExW(drivers, kDriverValue, nullptr, nullptr, reinterpret_cast<BYTE*>(dll), &size);
    RegCloseKey(drivers);
    return Utf8(dll);
}

// Writes the vidc.QV4Z entry of one registry view, or removes it when dll is
// empty; "{empty}" writes an empty value.
testing::AssertionResult SetDriverEntry(REGSAM view, const std::string& dll)
{
    const std::wstring value = Wide(dll == "{empty}" ? "" : dll);
    HKEY drivers = nullptr;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDriversKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                                  &drivers, nullptr);
    if (result == ERROR_SUCCESS) {
        result = dll.empty()
                     ? RegDeleteValueW(drivers, kDriverValue)
                     : RegSetValueExW(drivers, kDriverValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      DWORD((value.size() + 1) * sizeof(WCHAR)));
        RegCloseKey(drivers);
    }
    if (result == ERROR_SUCCESS || (dll.empty() && result == ERROR_FILE_NOT_FOUND))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "cannot set vidc.QV4Z to \"" << dll << "\" in view 0x" << std::hex << view
                                       << ": error " << std::dec << result;
}

std::string IniEntry()
{
    WCHAR dll[MAX_PATH] = {};
    GetPrivateProfileStringW(L"drivers32", kDriverValue, L"", dll, MAX_PATH, L"system.ini");
    return Utf8(dll);
}

testing::AssertionResult SetIniEntry(const std::string& dll)
{
    if (WritePrivateProfileStringW(L"drivers32", kDriverValue, dll.empty() ? nullptr : Wide(dll).c_str(),
                                   L"system.ini"))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "cannot set vidc.QV4Z in system.ini: error " << GetLastError();
}

} // namespace

namespace {

const char kWineOverrides[] = "Software\\Wine\\DllOverrides";

} // namespace

InstalledAs::InstalledAs(const Installation& installation)
{
    if (installation.own != nullptr) {
        m_own = DriverEntry(kOwnView);
        EXPECT_TRUE(SetDriverEntry(kOwnView, Expand(installation.own)));
    }
    if (installation.other != nullptr) {
        m_other = DriverEntry(kOtherView);
        EXPECT_TRUE(SetDriverEntry(kOtherView, Expand(installation.other)));
    }
    if (installation.systemIni != nullptr) {
        m_systemIni = IniEntry();
        EXPECT_TRUE(SetIniEntry(Expand(installation.systemIni)));
    }
    for (const Placed& placed : installation.placed) {
        if (placed.target == nullptr)
            continue;
        const std::string target = Expand(placed.target, true);
        const bool made = placed.source != nullptr ? CopyFileW(Wide(ThisProgramFolder() + placed.source).c_str(),
                                                               Wide(target).c_str(), FALSE)
                                                   : CreateDirectoryW(Wide(target).c_str(), nullptr);
        EXPECT_TRUE(made) << "cannot place " << target << ": error " << GetLastError();
        m_placed.push_back(target);
    }
    if (installation.hidden != nullptr) {
        m_hidden = installation.hidden;
        const std::string file = Expand("{system}\\") + m_hidden + ".dll";
        EXPECT_TRUE(MoveFileA(file.c_str(), (file + ".hidden").c_str())) << file << ": error " << GetLastError();
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, kWineOverrides, m_hidden.c_str(), REG_SZ, "", 1));
    }
}

InstalledAs::~InstalledAs()
{
    if (!m_hidden.empty()) {
        const std::string file = Expand("{system}\\") + m_hidden + ".dll";
        EXPECT_TRUE(MoveFileA((file + ".hidden").c_str(), file.c_str())) << file << ": error " << GetLastError();
        EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyValueA(HKEY_CURRENT_USER, kWineOverrides, m_hidden.c_str()));
    }
    for (auto placed = m_placed.rbegin(); placed != m_placed.rend(); ++placed)
        EXPECT_TRUE(DeleteFileW(Wide(*placed).c_str()) || RemoveDirectoryW(Wide(*placed).c_str())) << *placed;
    if (m_systemIni) {
        EXPECT_TRUE(SetIniEntry(*m_systemIni));
    }
    if (m_other) {
        EXPECT_TRUE(SetDriverEntry(kOtherView, *m_other));
    }
    if (m_own) {
        EXPECT_TRUE(SetDriverEntry(kOwnView, *m_own));
    }
}

// ---------------------------------------------------------------------------
// One run of the program
// ---------------------------------------------------------------------------
std::string FerrotunePath()
{
    return ThisProgramFolder() + "..\\bin\\Ferrotune.exe";
}

std::string TestBuildPath()
{
    return ThisProgramFolder() + "ferrotune_testbuild.exe";
}

FerrotuneRun::FerrotuneRun(const CompressorLog& log, const CompressorSetup& setup, const std::string& program,
                           std::vector<std::string> environment)
{
    environment.push_back("STANDIN_QV4Z_LOG=" + log.Path());
    if (!setup.configureAnswer.empty())
        environment.push_back("STANDIN_QV4Z_CONFIGURE=" + setup.configureAnswer);
    if (!setup.aboutAnswer.empty())
        environment.push_back("STANDIN_QV4Z_ABOUT=" + setup.aboutAnswer);
    if (setup.missing)
        environment.push_back("STANDIN_QV4Z_MISSING=1");
    if (!setup.crash.empty())
        environment.push_back("STANDIN_QV4Z_CRASH=" + setup.crash);
    // A run with switches may write to its standard error: kept with its output.
    const std::string arguments = setup.arguments.empty() ? std::string() : " " + setup.arguments;
    if (!arguments.empty())
        m_process.MergeErrorsIntoOutput();
    m_started = m_process.Start("\"" + program + "\"" + arguments, environment, setup.workingFolder, setup.debugged);
}

HWND FerrotuneRun::WaitForVisibleWindow(const char* caption, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows(ProcessId(), caption)) {
                if (IsWindowVisible(window)) {
                    found = window;
                    return true;
                }
            }
            return Exited();
        },
        timeoutMs);
    return found;
}

bool FerrotuneRun::WaitForExit(DWORD timeoutMs)
{
    return WaitUntil(
        [&] {
            bool exited = Exited();
            if (!exited && !VisibleTopLevelWindows(ProcessId()).empty())
                m_sawVisibleWindow = true;
            return exited;
        },
        timeoutMs);
}

testing::AssertionResult ClosedExactlyOnce(const CompressorLog& log)
{
    std::vector<unsigned long long> opened;
    for (const CompressorMessage& open : log.Messages(kDrvOpen)) {
        if (open.opened != 0)
            opened.push_back(open.opened);
    }
    if (opened.empty())
        return testing::AssertionFailure() << "the compressor was never opened\n" << log.Text();
    std::vector<CompressorMessage> closes = log.Messages(kDrvClose);
    for (unsigned long long id : opened) {
        size_t count = 0;
        for (const CompressorMessage& close : closes)
            count += close.driverId == id ? 1 : 0;
        if (count != 1)
            return testing::AssertionFailure()
                   << "driver instance 0x" << std::hex << id << " closed " << std::dec << count << " times\n"
                   << log.Text();
    }
    if (closes.size() != opened.size())
        return testing::AssertionFailure() << closes.size() << " closes for " << opened.size() << " opens\n"
                                           << log.Text();
    return testing::AssertionSuccess();
}

namespace {

// Installs the stand-in compressor before the first scenario, as a
// compressor's installer would: the DLL built beside this program is copied
// into the system folder and registered as the QV4Z compressor.
class StandinInstallation : public testing::Environment {
public:
    void SetUp() override
    {
        const char kDll[] = "standin_qv4z.dll";
        std::string source = ThisProgramFolder() + kDll;
        char system[MAX_PATH] = {};
        GetSystemDirectoryA(system, sizeof(system));
        std::string target = std::string(system) + "\\" + kDll;
        ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE))
            << "cannot copy " << source << " to " << target << ": error " << GetLastError();
        HKEY drivers = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", 0,
                                  nullptr, 0, KEY_SET_VALUE, nullptr, &drivers, nullptr));
        LONG written =
            RegSetValueExA(drivers, "vidc.QV4Z", 0, REG_SZ, reinterpret_cast<const BYTE*>(kDll), sizeof(kDll));
        RegCloseKey(drivers);
        ASSERT_EQ(ERROR_SUCCESS, written);
    }
};

testing::Environment* const s_standinInstallation = testing::AddGlobalTestEnvironment(new StandinInstallation);

} // namespace

void Scenario::SetUp()
{
    ASSERT_TRUE(WaitUntil([] { return TopLevelWindows(0, kDialogCaption).empty(); }, 30000))
        << "a \"" << kDialogCaption << "\" window is still open from elsewhere";
}

bool Has64BitWindows()
{
    char folder[MAX_PATH];
    return GetSystemWow64DirectoryA(folder, sizeof(folder)) != 0;
}

std::string Expand(const char* text, bool forWriting)
{
    char system32[MAX_PATH] = {};
    char wow64[MAX_PATH] = {};
    char windows[MAX_PATH] = {};
    GetSystemDirectoryA(system32, sizeof(system32));
    const bool windows64Bit = GetSystemWow64DirectoryA(wow64, sizeof(wow64)) != 0;
    GetWindowsDirectoryA(windows, sizeof(windows));
    const bool program64Bit = sizeof(void*) == 8;
    std::string other = program64Bit ? wow64 : system32;
    if (forWriting && !program64Bit)
        other = std::string(windows) + "\\Sysnative";
    const std::pair<const char*, std::string> names[] = {{"{system}", windows64Bit && !program64Bit ? wow64 : system32},
                                                         {"{system32}", system32},
                                                         {"{other}", other},
                                                         {"{windows}", windows},
                                                         {"{tests}", ThisProgramFolder()},
                                                         {"{cpu}", program64Bit ? "x64" : "x86"}};
    std::string expanded = text;
    for (const auto& name : names) {
        for (size_t at = expanded.find(name.first); at != std::string::npos; at = expanded.find(name.first, at))
            expanded.replace(at, strlen(name.first), name.second);
    }
    return expanded;
}

std::string ProgramText(UINT id, const std::vector<const char*>& inserts)
{
    static HMODULE program = LoadLibraryExA(FerrotunePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    WCHAR text[1024] = {};
    LoadStringW(program, id, text, ARRAYSIZE(text));
    std::string form = Utf8(text);
    for (size_t at = form.find('%'); at != std::string::npos; at = form.find('%', at)) {
        const size_t index = static_cast<size_t>(form[at + 1] - '1');
        const char* given = index < inserts.size() && inserts[index] != nullptr ? inserts[index] : "";
        const std::string insert = given[0] == '#' ? ProgramText(atoi(given + 1), inserts) : Expand(given);
        form.replace(at, 2, insert);
        at += insert.size();
    }
    return form;
}

bool HasLine(const std::vector<std::string>& lines, const char* line)
{
    for (const std::string& each : lines) {
        if (each == line)
            return true;
    }
    return false;
}

CheckReport ParseCheckReport(const std::string& text)
{
    CheckReport report;
    size_t at = 0;
    while (at < text.size()) {
        const size_t colon = text.find(": ", at);
        const size_t end = text.find('\n', at);
        if (colon == std::string::npos || (end != std::string::npos && end < colon))
            break; // not a field
        const std::string name = text.substr(at, colon - at);
        // The box's own text, the last field, holds line breaks of its own.
        const bool last = name == "message";
        const size_t valueEnd = last || end == std::string::npos ? text.size() : end;
        std::string value = text.substr(colon + 2, valueEnd - colon - 2);
        if (last && !value.empty() && value.back() == '\n')
            value.pop_back();
        report.fields.emplace_back(name, value);
        at = valueEnd + 1;
    }
    return report;
}

std::string CheckReport::Value(const std::string& name) const
{
    for (const auto& field : fields) {
        if (field.first == name)
            return field.second;
    }
    return std::string();
}

DWORD VerdictExitCode(const std::string& verdict)
{
    static const std::pair<const char*, DWORD> kCodes[] = {
        {"usable", 0},           {"not-registered", 10},     {"other-kind-only", 11},  {"registration-unusable", 12},
        {"file-missing", 13},    {"file-misplaced", 14},     {"file-unreadable", 15},  {"not-a-codec", 16},
        {"other-processor", 17}, {"dependency-missing", 18}, {"function-missing", 19}, {"assembly-missing", 20},
        {"refused", 21},         {"incomplete", 22},         {"manager-missing", 23},  {"crashed", 0xC0DE},
    };
    for (const auto& code : kCodes) {
        if (verdict == code.first)
            return code.second;
    }
    return 0xFFFFFFFF;
}

testing::AssertionResult ChecksAs(CompressorSetup setup, const std::string& verdict, const std::string& message,
                                  CheckReport* report)
{
    CompressorLog log;
    setup.arguments = "/check";
    FerrotuneRun run(log, setup);
    if (!run.Started())
        return testing::AssertionFailure() << "/check could not be started: error " << run.StartError();
    if (!run.WaitForExit())
        return testing::AssertionFailure() << "/check did not end within " << kWaitMs << " ms";
    const std::string output = run.StandardOutput();
    const CheckReport parsed = ParseCheckReport(output);
    if (report != nullptr)
        *report = parsed;
    if (run.SawVisibleWindow() || run.ExitCode() != VerdictExitCode(verdict) || parsed.Value("verdict") != verdict)
        return testing::AssertionFailure() << "/check: exit code " << run.ExitCode()
                                           << (run.SawVisibleWindow() ? ", a window shown" : "") << ", report:\n"
                                           << output << "\nexpected verdict " << verdict;
    if (!message.empty() &&
        (parsed.fields.empty() || parsed.fields.back() != std::make_pair(std::string("message"), message)))
        return testing::AssertionFailure() << "/check's report does not end with the box's text:\n"
                                           << output << "\nexpected message: " << message;
    return testing::AssertionSuccess();
}
