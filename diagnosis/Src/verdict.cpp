// verdict - the stable word and exit code of each cause the box names.
#include "verdict.h"

#include "diagnosistexts.h"

namespace {

const Verdict kNotRegistered = {L"not-registered", 10};
const Verdict kOtherKindOnly = {L"other-kind-only", 11};
const Verdict kRegistrationUnusable = {L"registration-unusable", 12};
const Verdict kFileMissing = {L"file-missing", 13};
const Verdict kFileMisplaced = {L"file-misplaced", 14};
const Verdict kFileUnreadable = {L"file-unreadable", 15};
const Verdict kNotACodec = {L"not-a-codec", 16};
const Verdict kOtherProcessor = {L"other-processor", 17};
const Verdict kDependencyMissing = {L"dependency-missing", 18};
const Verdict kFunctionMissing = {L"function-missing", 19};
const Verdict kAssemblyMissing = {L"assembly-missing", 20};
const Verdict kRefused = {L"refused", 21};
const Verdict kIncomplete = {L"incomplete", 22};
const Verdict kManagerMissing = {L"manager-missing", 23};
// A cause without a word of its own: not to be met.
const Verdict kNotOpened = {L"not-opened", 1};

struct MessageVerdict {
    UINT message;
    const Verdict* verdict;
};

// Every message of the box, by the cause it names.
const MessageVerdict kVerdicts[] = {
    {0, &kNotRegistered},
    {IDS_CODEC_32BIT_ONLY, &kOtherKindOnly},
    {IDS_CODEC_64BIT_ONLY, &kOtherKindOnly},
    {IDS_CODEC_TOO_LONG, &kRegistrationUnusable},
    {IDS_CODEC_TOO_LONG_CUT, &kRegistrationUnusable},
    {IDS_CODEC_NOT_TEXT, &kRegistrationUnusable},
    {IDS_CODEC_EMPTY, &kRegistrationUnusable},
    {IDS_CODEC_QUOTED, &kRegistrationUnusable},
    {IDS_CODEC_UNEXPANDED, &kRegistrationUnusable},
    {IDS_CODEC_NO_FILE_NAMED, &kFileMissing},
    {IDS_CODEC_NO_FILE_AT_PATH, &kFileMissing},
    {IDS_CODEC_NO_FILE_BEFORE_SPACE, &kFileMissing},
    {IDS_CODEC_32BIT_IN_SYSTEM32, &kFileMisplaced},
    {IDS_CODEC_64BIT_IN_SYSWOW64, &kFileMisplaced},
    {IDS_CODEC_FILE_IS_FOLDER, &kNotACodec},
    {IDS_CODEC_FILE_UNREADABLE, &kFileUnreadable},
    {IDS_CODEC_FILE_NOT_DLL, &kNotACodec},
    {IDS_CODEC_FILE_16BIT, &kNotACodec},
    {IDS_CODEC_FILE_PROGRAM, &kNotACodec},
    {IDS_CODEC_FILE_ASSEMBLY, &kNotACodec},
    {IDS_CODEC_32BIT_DLL, &kOtherProcessor},
    {IDS_CODEC_32BIT_DLL_WRONG_KIND, &kOtherProcessor},
    {IDS_CODEC_64BIT_DLL, &kOtherProcessor},
    {IDS_CODEC_64BIT_DLL_WRONG_KIND, &kOtherProcessor},
    {IDS_CODEC_64BIT_DLL_ON_32BIT_WINDOWS, &kOtherProcessor},
    {IDS_CODEC_OTHER_PROCESSOR, &kOtherProcessor},
    {IDS_CODEC_NO_DRIVERPROC, &kNotACodec},
    {IDS_CODEC_DLL_MISSING, &kDependencyMissing},
    {IDS_CODEC_DLL_MISSING_INDIRECT, &kDependencyMissing},
    {IDS_CODEC_DLL_UNUSABLE, &kDependencyMissing},
    {IDS_CODEC_RUNTIME_MISSING, &kDependencyMissing},
    {IDS_CODEC_FUNCTION_NEWER_WINDOWS, &kFunctionMissing},
    {IDS_CODEC_FUNCTION_OTHER_VERSION, &kFunctionMissing},
    {IDS_CODEC_FUNCTION_SHADOWING, &kFunctionMissing},
    {IDS_CODEC_ASSEMBLY_MISSING, &kAssemblyMissing},
    {IDS_CODEC_ASSEMBLY_RUNTIME_MISSING, &kAssemblyMissing},
    {IDS_CODEC_ASSEMBLIES_UNRESOLVED, &kAssemblyMissing},
    {IDS_CODEC_UNCHECKED, &kIncomplete},
    {IDS_CODEC_LEADING_BLANK, &kRefused},
    {IDS_CODEC_REFUSED_SPACE, &kRefused},
    {IDS_CODEC_REFUSED, &kRefused},
    {IDS_CODEC_CRASHED_STARTING, &kVerdictCrashed},
};

} // namespace

const Verdict kVerdictUsable = {L"usable", 0};
const Verdict kVerdictCrashed = {L"crashed", kCodecCrashExitCode};

Verdict VerdictOf(const CodecFacts& facts, const Diagnosis& diagnosis)
{
    if (!facts.managerLoaded)
        return kManagerMissing;
    for (const MessageVerdict& each : kVerdicts) {
        if (each.message == diagnosis.message)
            return *each.verdict;
    }
    return kNotOpened;
}

Verdict OtherKindVerdict(const OtherKindFacts& other)
{
    static const Verdict kComplete = {L"complete", 0};
    const FileFacts& file = other.found.facts;
    const WCHAR* value = other.registration.value;
    while (*value == L' ')
        ++value;
    if (!other.registered)
        return kNotRegistered;
    if (other.registration.tooLong != 0 || other.registration.notText || *value == L'\0')
        return kRegistrationUnusable;
    switch (file.kind) {
    case FILEKIND_NONE:
        return kFileMissing;
    case FILEKIND_UNREADABLE:
        return kFileUnreadable;
    case FILEKIND_DLL:
        if (!other.takes)
            return kOtherProcessor;
        return file.driverProc ? kComplete : kNotACodec;
    default:
        return kNotACodec;
    }
}
