// faultplace - the module, offset and code of an exception, as text.
#include "faultplace.h"

#include "paths.h"

namespace {

// value as "0x" and digits upper-case hexadecimal digits.
void HexText(ULONG_PTR value, int digits, WCHAR* text)
{
    static const WCHAR kDigits[] = L"0123456789ABCDEF";
    text[0] = L'0';
    text[1] = L'x';
    for (int i = 0; i < digits; ++i)
        text[2 + i] = kDigits[(value >> (4 * (digits - 1 - i))) & 0xF];
    text[2 + digits] = L'\0';
}

} // namespace

bool ModuleFile(HMODULE module, WCHAR file[MAX_PATH])
{
    const DWORD length = GetModuleFileNameW(module, file, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        file[0] = L'\0';
        return false;
    }
    ExplorerPath(file);
    return true;
}

void DescribeFault(DWORD code, const void* address, FaultPlace* place)
{
    place->module = nullptr;
    place->file[0] = L'\0';
    MEMORY_BASIC_INFORMATION memory;
    if (VirtualQuery(address, &memory, sizeof(memory)) != 0 && memory.Type == MEM_IMAGE &&
        ModuleFile(static_cast<HMODULE>(memory.AllocationBase), place->file))
        place->module = static_cast<HMODULE>(memory.AllocationBase);
    HexText(code, 8, place->code);
    const ULONG_PTR at = reinterpret_cast<ULONG_PTR>(address);
    if (place->module != nullptr)
        HexText(at - reinterpret_cast<ULONG_PTR>(place->module), 8, place->offset);
    else
        HexText(at, 2 * sizeof(void*), place->offset);
}
