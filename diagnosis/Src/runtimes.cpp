// runtimes - one table from DLL names to the packages that install them.
#include "runtimes.h"

#include "diagnosistexts.h"

#include <string.h>
#include <wchar.h>

namespace {

// A name without ".dll", with at most one "*" standing for any text, and the
// package. The first row that matches decides; a row with kNone keeps a name
// of Windows' own out of a wider row after it.
struct RuntimeRow {
    char pattern[17];
    unsigned char package; // the string resource less kPackages; kNone: Windows' own
};
const UINT kPackages = IDS_RUNTIME_VC2005;
const unsigned char kNone = 0xFF;
const unsigned char kVc2005 = IDS_RUNTIME_VC2005 - kPackages;
const unsigned char kVc2008 = IDS_RUNTIME_VC2008 - kPackages;
const unsigned char kVc2010 = IDS_RUNTIME_VC2010 - kPackages;
const unsigned char kVc2012 = IDS_RUNTIME_VC2012 - kPackages;
const unsigned char kVc2013 = IDS_RUNTIME_VC2013 - kPackages;
const unsigned char kVc2015 = IDS_RUNTIME_VC2015 - kPackages;
const unsigned char kUcrt = IDS_RUNTIME_UCRT - kPackages;
const unsigned char kDirectX = IDS_RUNTIME_DIRECTX - kPackages;
const unsigned char kDisplayDriver = IDS_RUNTIME_DISPLAY_DRIVER - kPackages;

const RuntimeRow kRuntimes[] = {
    // Visual C++ 2005 and 2008: their DLLs are side-by-side assemblies.
    {"msvcr80", kVc2005},
    {"msvcp80", kVc2005},
    {"msvcm80", kVc2005},
    {"mfc80*", kVc2005},
    {"mfcm80*", kVc2005},
    {"atl80", kVc2005},
    {"vcomp", kVc2005},
    {"Microsoft.VC80.*", kVc2005},
    {"msvcr90", kVc2008},
    {"msvcp90", kVc2008},
    {"msvcm90", kVc2008},
    {"mfc90*", kVc2008},
    {"mfcm90*", kVc2008},
    {"atl90", kVc2008},
    {"vcomp90", kVc2008},
    {"Microsoft.VC90.*", kVc2008},
    // Visual C++ 2010 to 2013, in the system folder.
    {"msvcr100", kVc2010},
    {"msvcp100", kVc2010},
    {"mfc100*", kVc2010},
    {"mfcm100*", kVc2010},
    {"atl100", kVc2010},
    {"vcomp100", kVc2010},
    {"msvcr110", kVc2012},
    {"msvcp110", kVc2012},
    {"mfc110*", kVc2012},
    {"mfcm110*", kVc2012},
    {"atl110", kVc2012},
    {"vcomp110", kVc2012},
    {"vccorlib110", kVc2012},
    {"msvcr120", kVc2013},
    {"msvcp120", kVc2013},
    {"mfc120*", kVc2013},
    {"mfcm120*", kVc2013},
    {"vcomp120", kVc2013},
    {"vccorlib120", kVc2013},
    // Visual C++ 2015 to 2022 share one runtime, which needs the Universal C Runtime.
    {"vcruntime140*", kVc2015},
    {"msvcp140*", kVc2015},
    {"concrt140", kVc2015},
    {"vccorlib140", kVc2015},
    {"mfc140*", kVc2015},
    {"mfcm140*", kVc2015},
    {"vcomp140", kVc2015},
    {"vcamp140", kVc2015},
    {"ucrtbase", kUcrt},
    {"api-ms-win-crt-*", kUcrt},
    // The DirectX end-user runtime; the newer versions of some of its DLLs are Windows' own.
    {"d3dx9_*", kDirectX},
    {"d3dx10_*", kDirectX},
    {"d3dx11_*", kDirectX},
    {"d3dcompiler_47", kNone},
    {"d3dcompiler_*", kDirectX},
    {"xinput1_1", kDirectX},
    {"xinput1_2", kDirectX},
    {"xinput1_3", kDirectX},
    {"xaudio2_8", kNone},
    {"xaudio2_9*", kNone},
    {"xaudio2_*", kDirectX},
    {"xactengine*", kDirectX},
    {"x3daudio1_*", kDirectX},
    {"xapofx1_*", kDirectX},
    // What the graphics card's driver installs.
    {"nvcuda", kDisplayDriver},
    {"nvcuvid", kDisplayDriver},
    {"nvEncodeAPI*", kDisplayDriver},
    {"amfrt*", kDisplayDriver},
    {"libmfxhw*", kDisplayDriver},
    {"OpenCL", kDisplayDriver},
};

// Whether count characters of name are those of text, without regard to case.
bool Same(const char* text, const WCHAR* name, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (towlower(name[i]) != towlower(static_cast<WCHAR>(text[i])))
            return false;
    }
    return true;
}

// Whether name (length characters) matches pattern.
bool Matches(const char* pattern, const WCHAR* name, size_t length)
{
    const char* star = strchr(pattern, '*');
    if (star == nullptr)
        return strlen(pattern) == length && Same(pattern, name, length);
    const size_t prefix = static_cast<size_t>(star - pattern);
    const size_t suffix = strlen(star + 1);
    return length >= prefix + suffix && Same(pattern, name, prefix) && Same(star + 1, name + length - suffix, suffix);
}

} // namespace

UINT RuntimePackage(const WCHAR* name)
{
    size_t length = wcslen(name);
    if (length > 4 && _wcsicmp(name + length - 4, L".dll") == 0)
        length -= 4;
    for (const RuntimeRow& row : kRuntimes) {
        if (Matches(row.pattern, name, length))
            return row.package != kNone ? kPackages + row.package : 0;
    }
    return 0;
}
