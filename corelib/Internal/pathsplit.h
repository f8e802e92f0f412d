// pathsplit.h - a source path reduced to its file name and extension, as the
// exception's console line names it.
#ifndef LUMARET_INTERNAL_PATHSPLIT_H
#define LUMARET_INTERNAL_PATHSPLIT_H

#include <windows.h>

#include <stddef.h>

const size_t CXPATH_BUFFER_SIZE = 1024; // name, extension and result buffers
const size_t CXPATH_PART_LIMIT = 255;   // most bytes kept of a name or an extension

// Writes the name immediately followed by the extension of path into
// shortName, which holds CXPATH_BUFFER_SIZE bytes. A drive prefix and the
// directory part are dropped; double-byte characters of codePage are stepped
// over whole and never cut. A network path (two leading backslashes) is not
// split: it is copied whole, cut to fit. A null path gives the empty text.
void CxShortFileName(const char* path, char* shortName, UINT codePage);

#endif
