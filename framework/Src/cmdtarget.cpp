// cmdtarget - finding a message's handler in a class's message map and its bases.
#include "cmdtarget.h"

const FwMessageEntry* FwFindMessageEntry(const FwMessageMap* map, UINT message, WPARAM wParam)
{
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    for (; map != nullptr; map = map->base) {
        for (const FwMessageEntry* entry = map->entries; entry->thunk != nullptr; ++entry) {
            if (entry->message != message)
                continue;
            if (message != WM_COMMAND || (entry->id == id && entry->code == code))
                return entry;
        }
    }
    return nullptr;
}

CCmdTarget::~CCmdTarget() {}

const FwMessageMap* CCmdTarget::GetThisMessageMap()
{
    static const FwMessageEntry entries[] = {kFwMessageMapEnd};
    static const FwMessageMap map = {nullptr, entries};
    return &map;
}

const FwMessageMap* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

bool CCmdTarget::OnCmdMsg(WPARAM wParam)
{
    const FwMessageEntry* entry = FwFindMessageEntry(GetMessageMap(), WM_COMMAND, wParam);
    if (entry == nullptr)
        return false;
    entry->thunk(this, wParam, 0);
    return true;
}
