// displayseam.h - the window-system and GDI calls of the display format
// detection, as a table that tests replace to script a display. It holds the
// real calls until a test changes it.
#ifndef CORELIB_INTERNAL_DISPLAYSEAM_H
#define CORELIB_INTERNAL_DISPLAYSEAM_H

#include <windows.h>

struct CxDisplayCalls {
    HWND(WINAPI* getDesktopWindow)();
    HDC(WINAPI* getDC)(HWND window);
    int(WINAPI* releaseDC)(HWND window, HDC dc);
    int(WINAPI* getDeviceCaps)(HDC dc, int index);
    HDC(WINAPI* createCompatibleDC)(HDC dc);
    HBITMAP(WINAPI* createCompatibleBitmap)(HDC dc, int width, int height);
    HGDIOBJ(WINAPI* selectObject)(HDC dc, HGDIOBJ object);
    COLORREF(WINAPI* setPixel)(HDC dc, int x, int y, COLORREF colour);
    COLORREF(WINAPI* getPixel)(HDC dc, int x, int y);
    BOOL(WINAPI* deleteObject)(HGDIOBJ object);
    BOOL(WINAPI* deleteDC)(HDC dc);
};

extern CxDisplayCalls g_displayCalls;
extern const CxDisplayCalls g_realDisplayCalls;

#endif
