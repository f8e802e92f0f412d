// missingcodec - why no QV4Z compressor opened, found out the way the
// compressor manager and the loader look for it and said in the "Codec not
// detected" box.
#include "missingcodec.h"

#include "resource.h"
#include "vfwlibrary.h"

#include <string.h>
#include <wchar.h>

namespace {

const WCHAR kDriversKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const WCHAR kDriverValue[] = L"vidc.QV4Z";

bool HasFolder(const WCHAR* name)
{
    return wcspbrk(name, L"\\/:") != nullptr;
}

// vidc.QV4Z of one registry view into value (MAX_PATH + 1 characters, as
// the manager reads it): false when there is none. A longer value leaves its
// length in *tooLong and nothing in value; a value that is no string leaves
// *notText set and nothing in value.
bool ReadRegistryValue(REGSAM view, WCHAR* value, DWORD* tooLong, bool* notText)
{
    HKEY drivers = nullptr;
    value[0] = L'\0';
    *tooLong = 0;
    *notText = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriversKey, 0, KEY_QUERY_VALUE | view, &drivers) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = (MAX_PATH + 1) * sizeof(WCHAR);
    const LONG result = RegQueryValueExW(drivers, kDriverValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(drivers);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA)
        return false;
    *notText = type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ;
    if (*notText || result == ERROR_MORE_DATA) {
        // The stored size counts a terminating zero where there is one.
        if (!*notText)
            *tooLong = size / sizeof(WCHAR) - 1;
        value[0] = L'\0';
        return true;
    }
    const DWORD count = size / sizeof(WCHAR);
    value[count <= MAX_PATH ? count : MAX_PATH] = L'\0';
    return true;
}

// vidc.QV4Z where the manager reads it: the program's own registry view,
// else, when that has none or one longer than it reads, system.ini. False
// when neither has it; *tooLong and *notText as ReadRegistryValue sets them.
bool ReadManagerValue(WCHAR* value, DWORD* tooLong, bool* notText)
{
    if (ReadRegistryValue(0, value, tooLong, notText) && *tooLong == 0)
        return true;
    return GetPrivateProfileStringW(L"drivers32", kDriverValue, L"", value, MAX_PATH + 1, L"system.ini") > 0;
}

// value without the blanks around it, into name (MAX_PATH + 1 characters).
void Trim(const WCHAR* value, WCHAR* name)
{
    while (*value == L' ')
        ++value;
    size_t length = wcslen(value);
    while (length > 0 && value[length - 1] == L' ')
        --length;
    memcpy(name, value, length * sizeof(WCHAR));
    name[length] = L'\0';
}

// What the loader of search's kind of program takes for a registered name
// (blanks around it removed): the whole name, else the text before its
// first space, which the manager takes alone when there is one. name is
// cut at that space when only the text before it names a file, or neither
// does; returns whether it was cut.
bool FindRegistered(const DllSearch& search, WCHAR* name, FoundFile* found)
{
    if (search.Find(name, found))
        return false;
    WCHAR* space = wcschr(name, L' ');
    if (space == nullptr)
        return false;
    *space = L'\0';
    search.Find(name, found);
    return true;
}

// ---------------------------------------------------------------------------
// Deciding what to say
// ---------------------------------------------------------------------------
CodecMessage Say(UINT id, const WCHAR* first = nullptr, const WCHAR* second = nullptr, const WCHAR* third = nullptr,
                 const WCHAR* fourth = nullptr)
{
    return {id, false, {first, second, third, fourth}};
}

CodecMessage Alone(UINT id)
{
    return {id, true, {}};
}

// A DLL of the other kind of program: the other Ferrotune is named only when
// the other registry view has the codec for it.
CodecMessage OtherProcessor(const CodecFacts& facts, const FoundFile& file)
{
    if (facts.program64Bit && file.facts.machine == IMAGE_FILE_MACHINE_I386)
        return Say(facts.otherUsable ? IDS_CODEC_32BIT_DLL : IDS_CODEC_32BIT_DLL_WRONG_KIND, file.path);
    if (!facts.program64Bit && file.facts.machine == IMAGE_FILE_MACHINE_AMD64) {
        if (!facts.windows64Bit)
            return Say(IDS_CODEC_64BIT_DLL_ON_32BIT_WINDOWS, file.path);
        return Say(facts.otherUsable ? IDS_CODEC_64BIT_DLL : IDS_CODEC_64BIT_DLL_WRONG_KIND, file.path);
    }
    return Say(IDS_CODEC_OTHER_PROCESSOR, file.path);
}

// A file that the loader finds for the codec: what it is, and what keeps it
// from starting.
CodecMessage JudgeFile(const CodecFacts& facts, const FoundFile& file)
{
    const WORD ownMachine = facts.program64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    switch (file.facts.kind) {
    case kFolder:
        return Say(IDS_CODEC_FILE_IS_FOLDER, file.path);
    case kUnreadable:
        return Say(IDS_CODEC_FILE_UNREADABLE, file.path, facts.unreadable != nullptr ? facts.unreadable : L"");
    case kOld16Bit:
        return Say(IDS_CODEC_FILE_16BIT, file.path);
    case kProgram:
        return Say(IDS_CODEC_FILE_PROGRAM, file.path);
    case kAssembly:
        return Say(IDS_CODEC_FILE_ASSEMBLY, file.path);
    case kDll:
        break;
    default:
        return Say(IDS_CODEC_FILE_NOT_DLL, file.path);
    }
    if (file.facts.machine != ownMachine)
        return OtherProcessor(facts, file);
    // Its start-up ran, so it loaded; the crash came before anything else.
    if (facts.startupFault != nullptr)
        return Say(IDS_CODEC_CRASHED_STARTING, file.path, facts.startupFault->code, facts.startupFault->where);
    if (!file.facts.driverProc)
        return Say(IDS_CODEC_NO_DRIVERPROC, file.path);
    const MissingDll& missing = facts.missingDll;
    if (missing.name[0] != L'\0') {
        if (missing.found.facts.kind != kNoFile)
            return Say(IDS_CODEC_DLL_UNUSABLE, file.path, missing.name, missing.neededBy, missing.found.path);
        if (_wcsicmp(missing.neededBy, file.path) == 0)
            return Say(IDS_CODEC_DLL_MISSING, file.path, missing.name);
        return Say(IDS_CODEC_DLL_MISSING_INDIRECT, file.path, missing.name, missing.neededBy);
    }
    // The codec is complete; what is left is its registration's form, or
    // the codec itself.
    if (facts.leadingBlank)
        return Say(IDS_CODEC_LEADING_BLANK, file.path, facts.registeredAs);
    if (facts.spaceInside)
        return Say(IDS_CODEC_REFUSED_SPACE, file.path, facts.registeredAs);
    return Say(IDS_CODEC_REFUSED, file.path);
}

} // namespace

CodecMessage DecideCodecMessage(const CodecFacts& facts)
{
    if (!facts.managerLoaded)
        return Alone(0);
    if (facts.registeredAs == nullptr) {
        if (facts.tooLong != nullptr)
            return Say(IDS_CODEC_TOO_LONG, facts.tooLong);
        if (facts.otherUsable)
            return Alone(facts.program64Bit ? IDS_CODEC_32BIT_ONLY : IDS_CODEC_64BIT_ONLY);
        return Alone(0);
    }
    if (facts.notText)
        return Say(IDS_CODEC_NOT_TEXT);
    if (facts.fileName == nullptr || facts.fileName[0] == L'\0')
        return Say(IDS_CODEC_EMPTY);
    if (facts.found.facts.kind != kNoFile)
        return JudgeFile(facts, facts.found);

    // Nothing has the name; a path is shown as Explorer shows it.
    const WCHAR* shownName = facts.found.path[0] != L'\0' ? facts.found.path : facts.fileName;
    if (facts.quoted)
        return Say(IDS_CODEC_QUOTED, facts.registeredAs);
    if (facts.expanded != nullptr)
        return Say(IDS_CODEC_UNEXPANDED, facts.fileName, facts.expanded);
    const FoundFile& misplaced = facts.misplaced;
    const WORD ownMachine = facts.program64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    if (misplaced.path[0] != L'\0' && misplaced.facts.kind == kDll) {
        if (misplaced.facts.machine == ownMachine)
            return Say(facts.program64Bit ? IDS_CODEC_64BIT_IN_SYSWOW64 : IDS_CODEC_32BIT_IN_SYSTEM32, misplaced.path,
                       facts.systemFolder);
        return OtherProcessor(facts, misplaced);
    }
    if (facts.beforeSpace)
        return Say(IDS_CODEC_NO_FILE_BEFORE_SPACE, facts.registeredAs, shownName);
    if (!HasFolder(facts.fileName))
        return Say(IDS_CODEC_NO_FILE_NAMED, facts.fileName, facts.systemFolder, facts.windowsFolder);
    return Say(IDS_CODEC_NO_FILE_AT_PATH, shownName);
}

// ---------------------------------------------------------------------------
// Finding the facts
// ---------------------------------------------------------------------------
CodecInstallation::CodecInstallation(bool managerLoaded) : m_search(false), m_facts()
{
    m_value[0] = m_name[0] = m_expanded[0] = m_tooLong[0] = m_unreadable[0] = L'\0';
    m_facts.managerLoaded = managerLoaded;
    m_facts.program64Bit = sizeof(void*) == 8;
    if (!managerLoaded)
        return;
    m_facts.windows64Bit = DllSearch::Has64BitWindows();
    // On 32-bit Windows there is one registry view; the flag is ignored there.
    m_facts.otherUsable = m_facts.windows64Bit && OtherKindHasCodec();
    ReadRegistration();
    if (m_facts.registeredAs != nullptr && !m_facts.notText)
        FindFile();
}

bool RegisteredCodecFile(WCHAR file[MAX_PATH + 1])
{
    DWORD tooLong = 0;
    bool notText = false;
    if (!ReadManagerValue(file, &tooLong, &notText) || notText)
        return false;
    WCHAR* space = wcschr(file, L' ');
    if (space != nullptr)
        *space = L'\0';
    return file[0] != L'\0';
}

void CodecInstallation::ReadRegistration()
{
    DWORD tooLong = 0;
    bool notText = false;
    if (ReadManagerValue(m_value, &tooLong, &notText))
        m_facts.registeredAs = m_value;
    m_facts.notText = notText;
    if (tooLong != 0) {
        _ultow(tooLong, m_tooLong, 10);
        m_facts.tooLong = m_tooLong;
    }
}

// The file the registration names, as this program's loader finds it, and
// what keeps it from starting.
void CodecInstallation::FindFile()
{
    const DllSearch& search = m_search;
    m_facts.leadingBlank = m_value[0] == L' ';
    Trim(m_value, m_name);
    m_facts.fileName = m_name;
    m_facts.systemFolder = search.SystemFolder();
    m_facts.windowsFolder = search.WindowsFolder();
    if (m_name[0] == L'\0')
        return;
    m_facts.quoted = m_name[0] == L'"';
    m_facts.beforeSpace = FindRegistered(search, m_name, &m_facts.found);
    m_facts.spaceInside = !m_facts.beforeSpace && wcschr(m_name, L' ') != nullptr;

    const FoundFile& found = m_facts.found;
    if (found.facts.kind == kNoFile) {
        if (wcschr(m_value, L'%') != nullptr) {
            WCHAR name[MAX_PATH + 1];
            Trim(m_value, name);
            const DWORD length = ExpandEnvironmentStringsW(name, m_expanded, MAX_PATH);
            if (length > 0 && length <= MAX_PATH && wcscmp(name, m_expanded) != 0)
                m_facts.expanded = m_expanded;
        }
        if (!HasFolder(m_name))
            search.FindIn(search.OtherSystemFolder(), m_name, &m_facts.misplaced);
        return;
    }
    if (found.facts.kind == kUnreadable) {
        // The system's own words, on one line.
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                            found.facts.error, 0, m_unreadable, ARRAYSIZE(m_unreadable), nullptr);
        for (DWORD i = 0; i < length; ++i) {
            if (m_unreadable[i] == L'\r' || m_unreadable[i] == L'\n')
                m_unreadable[i] = L' ';
        }
        m_facts.unreadable = m_unreadable;
    }
    if (found.facts.kind == kDll && found.facts.machine == search.Machine() && found.facts.driverProc)
        search.FindMissingDll(found.path, &m_facts.missingDll);
}

// Whether the other kind of program's registry view has vidc.QV4Z, and its
// loader finds a codec of that kind for it.
bool CodecInstallation::OtherKindHasCodec() const
{
    WCHAR value[MAX_PATH + 1];
    WCHAR name[MAX_PATH + 1];
    DWORD tooLong = 0;
    bool notText = false;
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    if (!ReadRegistryValue(otherView, value, &tooLong, &notText) || tooLong != 0 || notText)
        return false;
    Trim(value, name);
    DllSearch other(true);
    FoundFile found;
    FindRegistered(other, name, &found);
    return found.facts.kind == kDll && found.facts.machine == other.Machine() && found.facts.driverProc;
}

// ---------------------------------------------------------------------------
// The box's text
// ---------------------------------------------------------------------------
namespace {

// The most characters of a path or value that the box shows: a longer one
// keeps its start and its end (the file name) with "..." between them.
const int kShownLength = 200;
const int kShownStart = 80;
// In the ANSI code page a character takes up to two bytes.
const int kShownSize = 2 * kShownLength + 1;

// count characters of text in the system's ANSI code page, what the box
// cannot show as "?", at shown; returns the bytes written.
int Ansi(const WCHAR* text, int count, char* shown, int size)
{
    return count == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text, count, shown, size, nullptr, nullptr);
}

// text as the box shows it, into shown (kShownSize bytes).
void Shown(const WCHAR* text, char* shown)
{
    const int length = static_cast<int>(wcslen(text));
    int size = 0;
    if (length <= kShownLength) {
        size = Ansi(text, length, shown, kShownSize - 1);
    } else {
        const int end = kShownLength - kShownStart - 3;
        size = Ansi(text, kShownStart, shown, kShownSize - 1);
        memcpy(shown + size, "...", 3);
        size += 3;
        size += Ansi(text + length - end, end, shown + size, kShownSize - 1 - size);
    }
    shown[size] = '\0';
}

} // namespace

CodecMissingMessage::CodecMissingMessage(const CodecFacts& facts, HINSTANCE module)
{
    const CodecMessage message = DecideCodecMessage(facts);
    size_t length = 0;
    auto put = [&](const char* part, size_t size) {
        if (size > sizeof(m_text) - 1 - length)
            size = sizeof(m_text) - 1 - length;
        memcpy(m_text + length, part, size);
        length += size;
    };
    char text[1024];
    if ((message.id == 0 || !message.alone) && LoadStringA(module, IDS_CODEC_NOT_DETECTED, text, sizeof(text)) > 0)
        put(text, strlen(text));
    if (message.id != 0 && LoadStringA(module, message.id, text, sizeof(text)) > 0) {
        if (length > 0)
            put("\n\n", 2);
        for (const char* at = text; *at != '\0'; ++at) {
            if (at[0] == '%' && at[1] >= '1' && at[1] <= '4') {
                char insert[kShownSize];
                const WCHAR* source = message.inserts[at[1] - '1'];
                Shown(source != nullptr ? source : L"", insert);
                put(insert, strlen(insert));
                ++at;
            } else {
                put(at, 1);
            }
        }
    }
    m_text[length] = '\0';
}
