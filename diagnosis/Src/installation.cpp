// installation - the facts of a codec that did not open, found the way the
// compressor manager and the loader look for it.
#include "installation.h"

#include "messagetext.h"

#include <wchar.h>

namespace {

// What the loader of search's kind of program takes for a registered name
// (blanks around it removed): the whole name, else the text before its first
// space, which the manager takes alone when there is one. name is cut at that
// space when only the text before it names a file, or neither does; returns
// whether it was cut.
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

} // namespace

CodecInstallation::CodecInstallation(bool managerLoaded, const StartupCrash* startupCrash, bool opened)
    : m_search(false), m_facts(), m_other()
{
    m_name[0] = m_expanded[0] = m_tooLong[0] = m_unreadable[0] = L'\0';
    m_facts.managerLoaded = managerLoaded;
    m_facts.program64Bit = kProgram64Bit;
    m_facts.startupCrash = startupCrash;
    m_facts.windows64Bit = m_search.Windows64Bit();
    m_facts.nativeMachine = m_search.NativeMachine();
    // On 32-bit Windows there is one registry view; the flag is ignored there.
    m_facts.otherUsable = ReadOtherKind(&m_other) && OtherKindHasCodec();
    if (!managerLoaded)
        return;
    ReadRegistration();
    if (m_facts.registeredAs != nullptr && !m_facts.notText)
        FindFile(opened);
}

void CodecInstallation::ReadRegistration()
{
    if (ReadManagerRegistration(&m_registration))
        m_facts.registeredAs = m_registration.value;
    m_facts.notText = m_registration.notText;
    m_facts.sectionMapped = m_registration.sectionMapped;
    if (m_registration.tooLong != 0) {
        _ultow(m_registration.tooLong, m_tooLong, 10);
        m_facts.tooLong = m_tooLong;
    }
}

// The file the registration names, as this program's loader finds it, and,
// unless the codec opened, what keeps it from starting.
void CodecInstallation::FindFile(bool opened)
{
    const WCHAR* value = m_registration.value;
    m_facts.leadingBlank = value[0] == L' ';
    TrimBlanks(value, m_name);
    m_facts.fileName = m_name;
    m_facts.systemFolder = m_search.SystemFolder();
    m_facts.windowsFolder = m_search.WindowsFolder();
    if (m_name[0] == L'\0')
        return;
    m_facts.quoted = m_name[0] == L'"';
    m_facts.beforeSpace = FindRegistered(m_search, m_name, &m_facts.found);
    m_facts.spaceInside = !m_facts.beforeSpace && wcschr(m_name, L' ') != nullptr;

    const FoundFile& found = m_facts.found;
    if (found.facts.kind == FILEKIND_NONE)
        FindWhyMissing();
    else if (found.facts.kind == FILEKIND_UNREADABLE)
        ReadWhyUnreadable();
    else if (!opened && found.facts.kind == FILEKIND_DLL && m_search.Takes(found.facts) && found.facts.driverProc)
        m_search.FindMissingDll(found.path, &m_facts.missingDll);
}

// Nothing has the name: what a %NAME% in it stands for, and a file of that
// name where the other kind of program looks.
void CodecInstallation::FindWhyMissing()
{
    if (wcschr(m_registration.value, L'%') != nullptr) {
        WCHAR name[kRegistrationLength + 1];
        TrimBlanks(m_registration.value, name);
        const DWORD length = ExpandEnvironmentStringsW(name, m_expanded, MAX_PATH);
        if (length > 0 && length <= MAX_PATH && wcscmp(name, m_expanded) != 0)
            m_facts.expanded = m_expanded;
    }
    if (!HasFolder(m_name))
        m_search.FindIn(m_search.OtherSystemFolder(), m_name, &m_facts.misplaced);
}

// The system's own words for why the file cannot be read.
void CodecInstallation::ReadWhyUnreadable()
{
    SystemMessage(m_facts.found.facts.error, m_unreadable, ARRAYSIZE(m_unreadable));
    m_facts.unreadable = m_unreadable;
}

bool ReadOtherKind(OtherKindFacts* other)
{
    other->registered = false;
    other->takes = false;
    other->found.path[0] = L'\0';
    other->found.facts = FileFacts();
    if (!SystemFolders().Windows64Bit())
        return false;
    const REGSAM otherView = kProgram64Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    Registration& registration = other->registration;
    other->registered = ReadRegistryView(otherView, &registration);
    if (!other->registered || registration.tooLong != 0 || registration.notText)
        return other->registered;
    WCHAR name[kRegistrationLength + 1];
    TrimBlanks(registration.value, name);
    DllSearch search(true);
    FindRegistered(search, name, &other->found);
    other->takes = search.Takes(other->found.facts);
    return true;
}

// Whether the other kind of program's loader finds a codec of that kind for
// its registration.
bool CodecInstallation::OtherKindHasCodec() const
{
    const FileFacts& file = m_other.found.facts;
    return file.kind == FILEKIND_DLL && m_other.takes && file.driverProc;
}
