// A DLL named msvfw32.dll for planting beside the program: it says so on the
// debugger output as soon as anything loads it, and its compressor manager
// finds no compressor.
#include <windows.h>

#include <vfw.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        OutputDebugStringA("planted msvfw32.dll loaded\n");
    return TRUE;
}

extern "C" __declspec(dllexport) HIC VFWAPI ICOpen(DWORD, DWORD, UINT)
{
    return nullptr;
}

extern "C" __declspec(dllexport) LRESULT VFWAPI ICSendMessage(HIC, UINT, DWORD_PTR, DWORD_PTR)
{
    return ICERR_UNSUPPORTED;
}

extern "C" __declspec(dllexport) LRESULT VFWAPI ICClose(HIC)
{
    return ICERR_OK;
}
