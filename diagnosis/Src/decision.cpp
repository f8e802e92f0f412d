// decision - from the facts of an installation to the message that says what
// keeps its codec from opening. No system calls: facts in, message out.
#include "decision.h"

#include "diagnosistexts.h"
#include "runtimes.h"

#include <wchar.h>

namespace {

Diagnosis Say(UINT message, const WCHAR* first = nullptr, const WCHAR* second = nullptr, const WCHAR* third = nullptr,
              const WCHAR* fourth = nullptr, const WCHAR* fifth = nullptr)
{
    return {message, false, {first, second, third, fourth, fifth, nullptr}};
}

// A string resource put in as an insert.
const WCHAR* Part(UINT id)
{
    return MAKEINTRESOURCEW(id);
}

// The processor that the runtimes must be built for: this program's.
const WCHAR* Processor(const CodecFacts& facts)
{
    return facts.program64Bit ? L"x64" : L"x86";
}

// A DLL of Windows itself: in the system folder, and no runtime of the table.
bool WindowsDll(const CodecFacts& facts, const MissingDll& missing)
{
    return facts.systemFolder != nullptr && PathBelow(missing.found.path, facts.systemFolder) != nullptr &&
           RuntimePackage(missing.name) == 0;
}

// What the codec, complete in itself, needs and cannot get, or what could not
// be checked; message 0 when every check found everything.
Diagnosis DiagnoseDependencies(const CodecFacts& facts, const FoundFile& file)
{
    const MissingDll& missing = facts.missingDll;
    const UINT package = RuntimePackage(missing.name);
    const WCHAR* const packageText = package != 0 ? Part(package) : nullptr;
    if (missing.name[0] == L'\0' && missing.kind != MISSING_ASSEMBLIES) {
        if (missing.unchecked == CHECKED_ALL)
            return Say(0);
        const UINT reasons[] = {0, IDS_UNCHECKED_DEEPER, IDS_UNCHECKED_UNREADABLE, IDS_UNCHECKED_APISET};
        return Say(IDS_CODEC_UNCHECKED, file.path, Part(reasons[missing.unchecked]), missing.uncheckedName);
    }
    switch (missing.kind) {
    case MISSING_FUNCTION:
        if (WindowsDll(facts, missing))
            return Say(IDS_CODEC_FUNCTION_NEWER_WINDOWS, file.path, missing.function, missing.name, missing.neededBy);
        return Say(missing.shadows ? IDS_CODEC_FUNCTION_SHADOWING : IDS_CODEC_FUNCTION_OTHER_VERSION, file.path,
                   missing.function, missing.name, missing.neededBy, missing.found.path);
    case MISSING_ASSEMBLY:
        if (package != 0)
            return Say(IDS_CODEC_ASSEMBLY_RUNTIME_MISSING, file.path, missing.name, nullptr, packageText,
                       Processor(facts));
        return Say(IDS_CODEC_ASSEMBLY_MISSING, file.path, missing.name, missing.neededBy);
    case MISSING_ASSEMBLIES:
        return Say(IDS_CODEC_ASSEMBLIES_UNRESOLVED, file.path, missing.name, missing.neededBy);
    default:
        break;
    }
    if (missing.found.facts.kind != FILEKIND_NONE)
        return Say(IDS_CODEC_DLL_UNUSABLE, file.path, missing.name, missing.neededBy, missing.found.path);
    if (package != 0)
        return Say(IDS_CODEC_RUNTIME_MISSING, file.path, missing.name, nullptr, packageText, Processor(facts));
    if (_wcsicmp(missing.neededBy, file.path) == 0)
        return Say(IDS_CODEC_DLL_MISSING, file.path, missing.name);
    return Say(IDS_CODEC_DLL_MISSING_INDIRECT, file.path, missing.name, missing.neededBy);
}

Diagnosis Alone(UINT message)
{
    return {message, true, {}};
}

// A DLL of the other kind of program: the other Ferrotune is named only when
// the other registry view has the codec for it.
Diagnosis OtherProcessor(const CodecFacts& facts, const FoundFile& file)
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

// A DLL of this program's kind: a crash in its start-up, which came before
// anything else, else what it lacks, else what could not be checked, else its
// registration's form, else the codec itself: "complete" is said only when
// every check was made.
Diagnosis DiagnoseCodec(const CodecFacts& facts, const FoundFile& file)
{
    if (facts.startupCrash != nullptr)
        return Say(IDS_CODEC_CRASHED_STARTING, file.path, facts.startupCrash->code, facts.startupCrash->where);
    if (!file.facts.driverProc)
        return Say(IDS_CODEC_NO_DRIVERPROC, file.path);
    const Diagnosis dependencies = DiagnoseDependencies(facts, file);
    if (dependencies.message != 0)
        return dependencies;
    if (facts.leadingBlank)
        return Say(IDS_CODEC_LEADING_BLANK, file.path, facts.registeredAs);
    if (facts.spaceInside)
        return Say(IDS_CODEC_REFUSED_SPACE, file.path, facts.registeredAs);
    return Say(IDS_CODEC_REFUSED, file.path);
}

// The file that the loader finds for the codec: what it is, and what keeps it
// from starting.
Diagnosis DiagnoseFile(const CodecFacts& facts, const FoundFile& file)
{
    switch (file.facts.kind) {
    case FILEKIND_FOLDER:
        return Say(IDS_CODEC_FILE_IS_FOLDER, file.path);
    case FILEKIND_UNREADABLE:
        return Say(IDS_CODEC_FILE_UNREADABLE, file.path, facts.unreadable != nullptr ? facts.unreadable : L"");
    case FILEKIND_16BIT:
        return Say(IDS_CODEC_FILE_16BIT, file.path);
    case FILEKIND_PROGRAM:
        return Say(IDS_CODEC_FILE_PROGRAM, file.path);
    case FILEKIND_ASSEMBLY:
        return Say(IDS_CODEC_FILE_ASSEMBLY, file.path);
    case FILEKIND_DLL:
        if (!LoaderTakes(file.facts, facts.program64Bit, facts.nativeMachine))
            return OtherProcessor(facts, file);
        return DiagnoseCodec(facts, file);
    default:
        return Say(IDS_CODEC_FILE_NOT_DLL, file.path);
    }
}

// Nothing has the registered name: why not, as far as the facts show. A path
// is shown as Explorer shows it.
Diagnosis DiagnoseNoFile(const CodecFacts& facts)
{
    const WCHAR* shownName = facts.found.path[0] != L'\0' ? facts.found.path : facts.fileName;
    if (facts.quoted)
        return Say(IDS_CODEC_QUOTED, facts.registeredAs);
    if (facts.expanded != nullptr)
        return Say(IDS_CODEC_UNEXPANDED, facts.fileName, facts.expanded);
    const FoundFile& misplaced = facts.misplaced;
    if (misplaced.path[0] != L'\0' && misplaced.facts.kind == FILEKIND_DLL) {
        if (misplaced.facts.machine == MachineFor(facts.program64Bit))
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

} // namespace

Diagnosis Diagnose(const CodecFacts& facts)
{
    if (!facts.managerLoaded)
        return Alone(0);
    if (facts.registeredAs == nullptr) {
        if (facts.tooLong != nullptr)
            return Say(facts.sectionMapped ? IDS_CODEC_TOO_LONG_CUT : IDS_CODEC_TOO_LONG, facts.tooLong);
        if (facts.otherUsable)
            return Alone(facts.program64Bit ? IDS_CODEC_32BIT_ONLY : IDS_CODEC_64BIT_ONLY);
        return Alone(0);
    }
    if (facts.notText)
        return Say(IDS_CODEC_NOT_TEXT);
    if (facts.fileName == nullptr || facts.fileName[0] == L'\0')
        return Say(IDS_CODEC_EMPTY);
    if (facts.found.facts.kind != FILEKIND_NONE)
        return DiagnoseFile(facts, facts.found);
    return DiagnoseNoFile(facts);
}
