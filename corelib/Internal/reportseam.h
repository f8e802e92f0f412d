// reportseam.h - the call through which the exception report shows its
// message box, so that a test can see the box's arguments.
#ifndef LUMARET_INTERNAL_REPORTSEAM_H
#define LUMARET_INTERNAL_REPORTSEAM_H

#include <windows.h>

typedef int(WINAPI* CxMessageBoxFunction)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);

// MessageBoxA unless a test has put its own function here.
extern CxMessageBoxFunction g_reportMessageBox;

#endif
