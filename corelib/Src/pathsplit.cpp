// pathsplit - a path reduced to its file name and extension.
#include "pathsplit.h"

#include <string.h>

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// Bytes taken by the character at text: two for a lead byte with a trail byte
// after it, else one. A lead byte right before the terminator stands alone.
size_t CharacterSize(const char* text, UINT codePage)
{
    if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[0])) && text[1] != '\0')
        return 2;
    return 1;
}

// Copies the first length bytes of source into destination and terminates it,
// keeping at most limit bytes and never cutting a double-byte character.
void CopyPart(char* destination, const char* source, size_t length, size_t limit, UINT codePage)
{
    size_t kept = 0;
    while (kept < length) {
        size_t size = CharacterSize(source + kept, codePage);
        if (kept + size > limit || kept + size > length)
            break;
        kept += size;
    }
    memcpy(destination, source, kept);
    destination[kept] = '\0';
}

} // namespace

// The name and extension of path, in the manner of the C runtime's path split:
// drive prefix and directory dropped, the extension from the last dot after
// the directory, each part cut to 255 bytes.
void CxShortFileName(const char* path, char* shortName, UINT codePage)
{
    if (path == nullptr)
        path = "";

    if (path[0] == '\\' && path[1] == '\\') {
        CopyPart(shortName, path, strlen(path), CXPATH_BUFFER_SIZE - 1, codePage);
        return;
    }

    if (path[0] != '\0' && path[1] == ':')
        path += 2;

    // One pass finds where the name starts and the last dot after that; a trail
    // byte equal to a separator or a dot is stepped over with its lead byte.
    const char* nameStart = path;
    const char* lastDot = nullptr;
    const char* end = path;
    while (*end != '\0') {
        if (IsSeparator(*end)) {
            nameStart = end + 1;
            lastDot = nullptr;
        } else if (*end == '.') {
            lastDot = end;
        }
        end += CharacterSize(end, codePage);
    }
    const char* extensionStart = lastDot != nullptr ? lastDot : end;

    char name[CXPATH_BUFFER_SIZE];
    char extension[CXPATH_BUFFER_SIZE];
    CopyPart(name, nameStart, extensionStart - nameStart, CXPATH_PART_LIMIT, codePage);
    CopyPart(extension, extensionStart, end - extensionStart, CXPATH_PART_LIMIT, codePage);

    // Each part holds at most 255 bytes, so both fit the result together.
    strcpy(shortName, name);
    strcat(shortName, extension);
}
