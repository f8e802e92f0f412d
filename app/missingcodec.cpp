// missingcodec - why no QV4Z compressor opened, found out the way the
// compressor manager looks for it and said in the "Codec not detected" box.
#include "missingcodec.h"

#include "resource.h"
#include "vfwlibrary.h"

#include <string.h>

namespace {

const char kCodecNotDetected[] = "Codec not detected. Please make sure the codec is properly installed.";
const char kDriversKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const char kDriverValue[] = "vidc.QV4Z";

// Texts of the facts and of the message, in local memory.
char* NewText(size_t size)
{
    return static_cast<char*>(LocalAlloc(LMEM_FIXED, size));
}

void FreeText(char* text)
{
    if (text != nullptr)
        LocalFree(text);
}

// ---------------------------------------------------------------------------
// Finding the facts
// ---------------------------------------------------------------------------
// vidc.QV4Z of one registry view of the driver list, as a new text (empty
// when the value is no string); null when there is none.
char* RegistryEntry(REGSAM view)
{
    HKEY drivers = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriversKey, 0, KEY_QUERY_VALUE | view, &drivers) != ERROR_SUCCESS)
        return nullptr;
    char* text = nullptr;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(drivers, kDriverValue, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (text = NewText(size + 1)) != nullptr) {
        // The stored size may or may not count a terminating zero; a value
        // that changed in between is taken as empty.
        if (RegQueryValueExA(drivers, kDriverValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
                ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            size = 0;
        text[size] = '\0';
    }
    RegCloseKey(drivers);
    return text;
}

// vidc.QV4Z of system.ini's [drivers32] section, where the manager looks when
// the registry has none, as a new text; null when it is missing or empty.
char* IniEntry()
{
    for (DWORD size = 256; size <= 65536; size *= 2) {
        char* text = NewText(size);
        if (text == nullptr)
            return nullptr;
        const DWORD length = GetPrivateProfileStringA("drivers32", kDriverValue, "", text, size, "system.ini");
        if (length == 0) {
            FreeText(text);
            return nullptr;
        }
        if (length < size - 1)
            return text;
        FreeText(text); // cut: read again with more room
    }
    return nullptr;
}

bool ReadAt(HANDLE file, LONG offset, void* data, DWORD size)
{
    DWORD read = 0;
    return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(file, data, size, &read, nullptr) && read == size;
}

// The processor that a PE file's header names; 0 when the file cannot be read
// or is no PE file. Only the headers are read: the file is not loaded.
WORD PeMachine(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    IMAGE_DOS_HEADER dos;
    struct {
        DWORD signature;
        IMAGE_FILE_HEADER header;
    } nt;
    WORD machine = 0;
    if (ReadAt(file, 0, &dos, sizeof(dos)) && dos.e_magic == IMAGE_DOS_SIGNATURE &&
        ReadAt(file, dos.e_lfanew, &nt, sizeof(nt)) && nt.signature == IMAGE_NT_SIGNATURE)
        machine = nt.header.Machine;
    CloseHandle(file);
    return machine;
}

// One of the system's folder queries into folder (MAX_PATH characters);
// false, and an empty folder, when it fails or the folder does not fit.
bool QueryFolder(UINT(WINAPI* query)(LPSTR, UINT), char* folder)
{
    const UINT length = query(folder, MAX_PATH);
    if (length != 0 && length < MAX_PATH)
        return true;
    folder[0] = '\0';
    return false;
}

// ---------------------------------------------------------------------------
// Deciding what to say
// ---------------------------------------------------------------------------
// The most characters of a path or value that the box shows: a longer one
// keeps its start and its end (the file name) with "..." between them.
const size_t kShownLength = 200;
const size_t kShownStart = 80;

struct Shown {
    char text[kShownLength + 1];
};

void Shorten(const char* text, Shown* shown)
{
    const size_t length = strlen(text);
    if (length <= kShownLength) {
        memcpy(shown->text, text, length + 1);
        return;
    }
    const size_t end = kShownLength - kShownStart - 3;
    memcpy(shown->text, text, kShownStart);
    memcpy(shown->text + kShownStart, "...", 3);
    memcpy(shown->text + kShownStart + 3, text + length - end, end + 1);
}

// What the box says: a string resource, standing alone or after the usual
// sentence, and the texts for its %1, %2 and %3. Id 0: the usual sentence alone.
struct Decision {
    UINT id;
    bool alone;
    const char* inserts[3];
};

Decision Decide(const CodecFacts& facts)
{
    if (!facts.managerLoaded)
        return {0, true, {}};
    if (facts.registeredAs == nullptr) {
        if (facts.program64Bit && facts.registeredFor32Bit)
            return {IDS_CODEC_32BIT_ONLY, true, {}};
        return {0, true, {}};
    }
    if (facts.foundPath == nullptr) {
        if (strcmp(facts.fileName, facts.registeredAs) != 0)
            return {IDS_CODEC_NO_FILE_BEFORE_SPACE, false, {facts.registeredAs, facts.fileName}};
        // A name without a folder is searched for where the loader searches.
        if (strpbrk(facts.fileName, "\\/:") == nullptr)
            return {IDS_CODEC_NO_FILE_NAMED, false, {facts.registeredAs, facts.systemFolder, facts.windowsFolder}};
        return {IDS_CODEC_NO_FILE_AT_PATH, false, {facts.registeredAs}};
    }
    const WORD ownMachine = facts.program64Bit ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
    if ((facts.machine == 0 || facts.machine == ownMachine) && facts.startupFault != nullptr)
        return {
            IDS_CODEC_CRASHED_STARTING, false, {facts.foundPath, facts.startupFault->code, facts.startupFault->where}};
    UINT id = IDS_CODEC_OTHER_PROCESSOR;
    if (facts.machine == 0 || facts.machine == ownMachine)
        id = IDS_CODEC_DID_NOT_START;
    else if (facts.program64Bit && facts.machine == IMAGE_FILE_MACHINE_I386)
        id = IDS_CODEC_32BIT_DLL;
    else if (!facts.program64Bit && facts.machine == IMAGE_FILE_MACHINE_AMD64)
        id = facts.windows64Bit ? IDS_CODEC_64BIT_DLL : IDS_CODEC_64BIT_DLL_ON_32BIT_WINDOWS;
    return {id, false, {facts.foundPath}};
}

// Writes the usual sentence and an empty line (unless the form stands alone),
// then form with %1..%3 replaced by the inserts, into text (null: writes
// nothing); returns the length of the whole.
size_t Fill(char* text, bool alone, const char* form, const Shown inserts[3])
{
    size_t length = 0;
    auto put = [&](const char* part, size_t size) {
        if (text != nullptr)
            memcpy(text + length, part, size);
        length += size;
    };
    if (!alone) {
        put(kCodecNotDetected, sizeof(kCodecNotDetected) - 1);
        put("\n\n", 2);
    }
    for (const char* at = form; *at != '\0'; ++at) {
        if (at[0] == '%' && at[1] >= '1' && at[1] <= '3') {
            const char* insert = inserts[at[1] - '1'].text;
            put(insert, strlen(insert));
            ++at;
        } else {
            put(at, 1);
        }
    }
    if (text != nullptr)
        text[length] = '\0';
    return length;
}

} // namespace

CodecInstallation::CodecInstallation(bool managerLoaded) : m_facts(), m_value(nullptr), m_file(nullptr)
{
    m_systemFolder[0] = m_windowsFolder[0] = m_foundPath[0] = '\0';
    m_facts.managerLoaded = managerLoaded;
    m_facts.program64Bit = sizeof(void*) == 8;
    m_facts.systemFolder = m_systemFolder;
    m_facts.windowsFolder = m_windowsFolder;
    if (!managerLoaded)
        return;

    if (m_facts.program64Bit) {
        char* for32Bit = RegistryEntry(KEY_WOW64_32KEY);
        m_facts.registeredFor32Bit = for32Bit != nullptr;
        FreeText(for32Bit);
    }
    m_value = RegistryEntry(0);
    if (m_value == nullptr)
        m_value = IniEntry();
    if (m_value == nullptr)
        return;
    m_facts.registeredAs = m_value;

    // The manager loads the text before the first space and hands the rest
    // to the driver as its parameters.
    const size_t fileLength = strcspn(m_value, " ");
    if ((m_file = NewText(fileLength + 1)) == nullptr) {
        m_facts.registeredAs = nullptr;
        return;
    }
    memcpy(m_file, m_value, fileLength);
    m_file[fileLength] = '\0';
    m_facts.fileName = m_file;

    // A 32-bit program on x64 Windows loads from SysWOW64 where it names the
    // system folder; elsewhere that call fails.
    if (m_facts.program64Bit || !QueryFolder(GetSystemWow64DirectoryA, m_systemFolder))
        QueryFolder(GetSystemDirectoryA, m_systemFolder);
    QueryFolder(GetWindowsDirectoryA, m_windowsFolder);

    // The places a bare name is searched in are those of the loader, which
    // adds ".dll" to a name without extension as well.
    const DWORD found = SearchPathA(nullptr, m_file, ".dll", MAX_PATH, m_foundPath, nullptr);
    if (found == 0 || found >= MAX_PATH)
        return;
    m_facts.foundPath = m_foundPath;
    m_facts.machine = PeMachine(m_foundPath);
    SYSTEM_INFO system;
    GetNativeSystemInfo(&system);
    m_facts.windows64Bit = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

CodecInstallation::~CodecInstallation()
{
    FreeText(m_file);
    FreeText(m_value);
}

CodecMissingMessage::CodecMissingMessage(const CodecFacts& facts, HINSTANCE module) : m_text(nullptr)
{
    const Decision decision = Decide(facts);
    char form[1024];
    if (decision.id == 0 || LoadStringA(module, decision.id, form, sizeof(form)) <= 0)
        return;
    Shown inserts[3];
    for (int i = 0; i < 3; ++i)
        Shorten(decision.inserts[i] != nullptr ? decision.inserts[i] : "", &inserts[i]);
    m_text = NewText(Fill(nullptr, decision.alone, form, inserts) + 1);
    if (m_text != nullptr)
        Fill(m_text, decision.alone, form, inserts);
}

CodecMissingMessage::~CodecMissingMessage()
{
    FreeText(m_text);
}

const char* CodecMissingMessage::Text() const
{
    return m_text != nullptr ? m_text : kCodecNotDetected;
}
