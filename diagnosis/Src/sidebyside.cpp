// sidebyside - a DLL's activation context, and a DLL name looked up in the active ones.
#include "sidebyside.h"

#include "paths.h"

#include <string.h>
#include <wchar.h>

namespace {

const WCHAR* const kDllManifest = MAKEINTRESOURCEW(2);
// The most of a manifest read to name its dependencies.
const DWORD kManifestSize = 16384;

// The value of attribute in the XML tag from tag to end into value (as wide
// text, at most size characters); empty when the tag has none.
void Attribute(const char* tag, const char* end, const char* attribute, WCHAR* value, int size)
{
    value[0] = L'\0';
    const size_t length = strlen(attribute);
    for (const char* at = tag; at + length + 2 < end; ++at) {
        if ((at[-1] != ' ' && at[-1] != '\t' && at[-1] != '\r' && at[-1] != '\n') ||
            strncmp(at, attribute, length) != 0 || at[length] != '=' ||
            (at[length + 1] != '"' && at[length + 1] != '\''))
            continue;
        const char* start = at + length + 2;
        const char* close = static_cast<const char*>(memchr(start, at[length + 1], end - start));
        if (close == nullptr)
            return;
        const int count = MultiByteToWideChar(CP_UTF8, 0, start, static_cast<int>(close - start), value, size - 1);
        value[count > 0 ? count : 0] = L'\0';
        return;
    }
}

// wcscat into text (MAX_PATH characters), cut where it does not fit.
void Add(WCHAR text[MAX_PATH], const WCHAR* part)
{
    const size_t length = wcslen(text);
    wcsncat(text, part, MAX_PATH - 1 - length);
}

} // namespace

DllActivation::DllActivation(PeFile& file, const WCHAR* path)
    : m_context(INVALID_HANDLE_VALUE), m_cookie(0), m_failed(false), m_assemblyCount(0)
{
    m_assemblies[0] = L'\0';
    char probe[1];
    WCHAR folder[MAX_PATH];
    wcscpy(folder, path);
    WCHAR* name = wcsrchr(folder, L'\\');
    if (!file.Manifest(probe, sizeof(probe)) || name == nullptr)
        return;
    *name = L'\0';
    // Private assemblies are looked for beside the DLL, as for the loader.
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    context.lpSource = path;
    context.lpResourceName = kDllManifest;
    context.lpAssemblyDirectory = folder;
    m_context = CreateActCtxW(&context);
    if (m_context == INVALID_HANDLE_VALUE) {
        m_failed = true;
        ReadDependencies(file);
    } else if (!ActivateActCtx(m_context, &m_cookie)) {
        m_cookie = 0;
    }
}

DllActivation::~DllActivation()
{
    if (m_cookie != 0)
        DeactivateActCtx(0, m_cookie);
    if (m_context != INVALID_HANDLE_VALUE)
        ReleaseActCtx(m_context);
}

// Each <dependentAssembly>'s <assemblyIdentity>, skipping the assemblies of
// Windows itself (Microsoft.Windows.Common-Controls and the like).
void DllActivation::ReadDependencies(PeFile& file)
{
    char* text = static_cast<char*>(LocalAlloc(LMEM_FIXED, kManifestSize));
    if (text == nullptr || !file.Manifest(text, kManifestSize)) {
        LocalFree(text);
        return;
    }
    for (const char* at = strstr(text, "dependentAssembly"); at != nullptr; at = strstr(at + 1, "dependentAssembly")) {
        const char* tag = strstr(at, "assemblyIdentity");
        const char* end = tag != nullptr ? strchr(tag, '>') : nullptr;
        if (end == nullptr)
            break;
        WCHAR name[MAX_PATH];
        WCHAR version[32];
        WCHAR processor[16];
        Attribute(tag, end, "name", name, MAX_PATH);
        Attribute(tag, end, "version", version, ARRAYSIZE(version));
        Attribute(tag, end, "processorArchitecture", processor, ARRAYSIZE(processor));
        at = end;
        if (name[0] == L'\0' || _wcsnicmp(name, L"Microsoft.Windows.", 18) == 0)
            continue;
        if (m_assemblyCount++ > 0)
            Add(m_assemblies, L"; ");
        Add(m_assemblies, name);
        Add(m_assemblies, L" ");
        Add(m_assemblies, version);
        if (processor[0] != L'\0' && wcscmp(processor, L"*") != 0) {
            Add(m_assemblies, L", ");
            Add(m_assemblies, _wcsicmp(processor, L"amd64") == 0 ? L"x64" : processor);
        }
    }
    LocalFree(text);
}

// The loader takes a redirected DLL from its assembly's folder. A manifest
// named after the folder the context gives (WinSxS\Manifests\NAME.manifest)
// is one of Windows' store, whose files are in that folder of WinSxS; any
// other manifest lies beside its assembly's files.
bool RedirectedDll(const WCHAR* name, const WCHAR* windowsFolder, WCHAR path[MAX_PATH])
{
    ACTCTX_SECTION_KEYED_DATA data = {};
    data.cbSize = sizeof(data);
    if (!FindActCtxSectionStringW(FIND_ACTCTX_SECTION_KEY_RETURN_HACTCTX, nullptr,
                                  ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data))
        return false;
    union {
        ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION information;
        BYTE bytes[4096];
    } details;
    DWORD index = data.ulAssemblyRosterIndex;
    SIZE_T needed = 0;
    WCHAR folder[MAX_PATH] = L"";
    if (QueryActCtxW(0, data.hActCtx, &index, AssemblyDetailedInformationInActivationContext, &details, sizeof(details),
                     &needed)) {
        const WCHAR* directory = details.information.lpAssemblyDirectoryName;
        const WCHAR* manifest = details.information.lpAssemblyManifestPath;
        if (manifest != nullptr && wcsncmp(manifest, L"\\??\\", 4) == 0)
            manifest += 4; // an NT path
        const WCHAR* file = manifest != nullptr ? wcsrchr(manifest, L'\\') : nullptr;
        const size_t length = directory != nullptr ? wcslen(directory) : 0;
        const bool store = file != nullptr && length > 0 && _wcsnicmp(file + 1, directory, length) == 0 &&
                           _wcsicmp(file + 1 + length, L".manifest") == 0;
        if (store && !(JoinPath(folder, windowsFolder, L"WinSxS") && JoinPath(folder, folder, directory)))
            folder[0] = L'\0';
        else if (!store && file != nullptr && file - manifest < MAX_PATH)
            wcsncat(folder, manifest, file - manifest);
    }
    ReleaseActCtx(data.hActCtx);
    return folder[0] != L'\0' && JoinPath(path, folder, name);
}
