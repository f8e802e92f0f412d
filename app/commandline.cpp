// commandline - splitting a command line into arguments as the C runtime does,
// and reading the switches from them.
#include "commandline.h"

#include <wchar.h>

namespace {

// The next argument of line into argument (size characters), by the C
// runtime's rules: blanks separate arguments outside quotation marks; 2n
// backslashes before a quotation mark are n backslashes and the mark opens or
// closes a quoted part, 2n+1 are n and a literal mark. Returns where the rest
// of the line begins; null when there is no argument left, or when it does
// not fit (argument is then empty).
const WCHAR* NextArgument(const WCHAR* line, WCHAR* argument, size_t size)
{
    while (*line == L' ' || *line == L'\t')
        ++line;
    argument[0] = L'\0';
    if (*line == L'\0')
        return nullptr;
    size_t length = 0;
    bool fits = true;
    auto put = [&](WCHAR c) {
        if (length + 1 < size)
            argument[length++] = c;
        else
            fits = false;
    };
    bool quoted = false;
    for (; *line != L'\0' && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
        size_t backslashes = 0;
        while (line[backslashes] == L'\\')
            ++backslashes;
        if (line[backslashes] != L'"') {
            for (; backslashes > 0; --backslashes, ++line)
                put(L'\\');
            if (*line == L'\0')
                break;
            put(*line);
            continue;
        }
        for (size_t i = 0; i < backslashes / 2; ++i)
            put(L'\\');
        line += backslashes;
        if (backslashes % 2 != 0)
            put(L'"');
        else
            quoted = !quoted;
    }
    argument[length] = L'\0';
    if (!fits)
        argument[0] = L'\0';
    return fits ? line : nullptr;
}

struct Switch {
    const WCHAR* name;
    LaunchMode mode;
};

const Switch kSwitches[] = {
    {L"check", LAUNCH_CHECK},
    {L"configure", LAUNCH_CONFIGURE},
    {L"about", LAUNCH_ABOUT},
    {L"?", LAUNCH_USAGE},
};

// The mode the switches after the program's name ask for; /out's file into out.
LaunchMode ReadSwitches(const WCHAR* line, WCHAR out[MAX_PATH])
{
    LaunchMode mode = LAUNCH_DIALOG;
    WCHAR argument[32768]; // the longest command line Windows passes
    bool outGiven = false;
    line = NextArgument(line, argument, ARRAYSIZE(argument)); // the program's own name
    while (line != nullptr) {
        while (*line == L' ' || *line == L'\t')
            ++line;
        if (*line == L'\0')
            break;
        line = NextArgument(line, argument, ARRAYSIZE(argument));
        const WCHAR* name = argument + 1;
        if (argument[0] != L'/' && argument[0] != L'-')
            return LAUNCH_BAD;
        if (_wcsicmp(name, L"out") == 0) {
            // A file name that does not fit in MAX_PATH characters is refused,
            // not cut: the report must go where it was asked to.
            if (outGiven || (line = NextArgument(line, out, MAX_PATH)) == nullptr || out[0] == L'\0')
                return LAUNCH_BAD;
            outGiven = true;
            continue;
        }
        const Switch* found = nullptr;
        for (const Switch& each : kSwitches) {
            if (_wcsicmp(name, each.name) == 0)
                found = &each;
        }
        if (found == nullptr || mode != LAUNCH_DIALOG)
            return LAUNCH_BAD;
        mode = found->mode;
    }
    return outGiven && mode != LAUNCH_CHECK ? LAUNCH_BAD : mode;
}

} // namespace

CommandLine ParseCommandLine(const WCHAR* line)
{
    CommandLine result;
    result.out[0] = L'\0';
    result.mode = ReadSwitches(line, result.out);
    if (result.mode == LAUNCH_BAD)
        result.out[0] = L'\0';
    return result;
}
