// ctl3d - the three-dimensional look of dialog controls on window systems
// before major version 4, through CTL3D. The library is loaded at run time so
// that the program does not import it and starts where it is missing. Its
// functions are looked up by name, so tools/peshape.py does not see them:
// Ctl3dRegister, Ctl3dAutoSubclass and Ctl3dUnregister, only on those older
// window systems (the README names them with the oldest Windows).
#include "winapp.h"

namespace {

typedef BOOL(WINAPI* Ctl3dCall)(HINSTANCE);

const char kCtl3dLibrary[] = "CTL3D32.DLL";

Ctl3dCall Ctl3dFunction(HMODULE library, const char* name)
{
    // Through void (*)() so that the compiler accepts the change of type.
    return reinterpret_cast<Ctl3dCall>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

} // namespace

BOOL CWinApp::Enable3dControlsStatic()
{
    // From major version 4 on, the window system draws dialog controls in 3D itself.
    if (LOBYTE(LOWORD(GetVersion())) >= 4)
        return TRUE;
    if (m_ctl3d != nullptr)
        return TRUE;

    HMODULE library = LoadLibraryA(kCtl3dLibrary);
    if (library == nullptr)
        return FALSE;
    Ctl3dCall registerApp = Ctl3dFunction(library, "Ctl3dRegister");
    Ctl3dCall autoSubclass = Ctl3dFunction(library, "Ctl3dAutoSubclass");
    if (registerApp == nullptr || autoSubclass == nullptr || !registerApp(m_hInstance)) {
        FreeLibrary(library);
        return FALSE;
    }
    m_ctl3d = library;
    // From here on CTL3D subclasses every dialog the program creates.
    return autoSubclass(m_hInstance);
}

void CWinApp::Disable3dControls()
{
    if (m_ctl3d == nullptr)
        return;
    Ctl3dCall unregisterApp = Ctl3dFunction(m_ctl3d, "Ctl3dUnregister");
    if (unregisterApp != nullptr)
        unregisterApp(m_hInstance);
    FreeLibrary(m_ctl3d);
    m_ctl3d = nullptr;
}
