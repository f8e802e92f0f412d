// cmdtarget.h - message maps: each class's table of message handlers, one
// line per message, searched from the most derived class towards its bases.
//
//   BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//       ON_WM_PAINT()
//       ON_BN_CLICKED(IDC_GO, OnGo)
//   END_MESSAGE_MAP()
//
// Each entry holds a small function made from the handler's member pointer, so
// a handler whose signature does not fit its message does not compile.
#ifndef FRAMEWORK_CMDTARGET_H
#define FRAMEWORK_CMDTARGET_H

#include <windows.h>

class CCmdTarget;

// Calls one handler of target with the message's parameters; gives the message's result.
typedef LRESULT (*FwHandlerThunk)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct FwMessageEntry {
    UINT message;         // WM_xxx
    UINT code;            // WM_COMMAND only: the notification code
    UINT id;              // WM_COMMAND only: the control or command id
    FwHandlerThunk thunk; // null ends a table
};

// The entry that ends every table.
constexpr FwMessageEntry kFwMessageMapEnd = {0, 0, 0, nullptr};

struct FwMessageMap {
    const FwMessageMap* base; // the base class's map; null at the root
    const FwMessageEntry* entries;
};

// The entry for message in map or, failing that, in its bases; for WM_COMMAND
// the entry must also name wParam's id (low word) and code (high word). Null if none.
const FwMessageEntry* FwFindMessageEntry(const FwMessageMap* map, UINT message, WPARAM wParam);

// The root of every class that handles messages or commands.
class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget();

    // Runs the map's handler for a command (WM_COMMAND's wParam); false if it has none.
    bool OnCmdMsg(WPARAM wParam);

protected:
    static const FwMessageMap* GetThisMessageMap();
    virtual const FwMessageMap* GetMessageMap() const;
};

namespace FwThunk {

template <class> struct Owner;
template <class C, class R, class... A> struct Owner<R (C::*)(A...)> {
    typedef C type;
};

// The object a handler F belongs to.
template <auto F> typename Owner<decltype(F)>::type* Self(CCmdTarget* target)
{
    return static_cast<typename Owner<decltype(F)>::type*>(target);
}

// void OnXxx()
template <auto F> LRESULT Plain(CCmdTarget* target, WPARAM, LPARAM)
{
    (Self<F>(target)->*F)();
    return 0;
}

} // namespace FwThunk

#define DECLARE_MESSAGE_MAP()                                                                                          \
protected:                                                                                                             \
    static const FwMessageMap* GetThisMessageMap();                                                                    \
    const FwMessageMap* GetMessageMap() const override;

// The two halves of one function body; their braces only pair up together.
// clang-format off
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                              \
    const FwMessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }     \
    const FwMessageMap* theClass::GetThisMessageMap()                                       \
    {                                                                                       \
        [[maybe_unused]] typedef theClass ThisClass;                                        \
        typedef baseClass TheBaseClass;                                                     \
        static const FwMessageEntry entries[] = {

#define END_MESSAGE_MAP()                                                                   \
            kFwMessageMapEnd};                                                              \
        static const FwMessageMap map = {TheBaseClass::GetThisMessageMap(), entries};       \
        return &map;                                                                        \
    }
// clang-format on

// WM_COMMAND with notification code 0 (a menu item, or a button click): void memberFxn()
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (id), &FwThunk::Plain<&ThisClass::memberFxn>},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, (id), &FwThunk::Plain<&ThisClass::memberFxn>},

#endif
