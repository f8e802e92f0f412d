// commandline.h - the program's switches. Without one it shows its dialog;
// /check writes a report on the codec, /configure and /about open one of the
// codec's own dialogs, /? prints the usage. Switches begin with '/' or '-'
// and are compared without regard to case.
#ifndef FERROTUNE_COMMANDLINE_H
#define FERROTUNE_COMMANDLINE_H

#include <windows.h>

enum LaunchMode {
    LAUNCH_DIALOG,    // no switch: the "Codec Configuration" dialog
    LAUNCH_CHECK,     // /check [/out FILE]
    LAUNCH_CONFIGURE, // /configure
    LAUNCH_ABOUT,     // /about
    LAUNCH_USAGE,     // /?
    LAUNCH_BAD,       // an unknown switch, one given twice, /out without a file or without /check
};

struct CommandLine {
    LaunchMode mode;
    WCHAR out[MAX_PATH]; // /out's file; empty when it is not given
};

// The switches of a whole command line, the program's own name first, as
// GetCommandLineW gives it.
CommandLine ParseCommandLine(const WCHAR* line);

#endif
