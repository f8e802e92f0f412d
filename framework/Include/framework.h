// framework.h - the GUI application framework: application object, windows,
// dialogs, buttons, message maps and data exchange.
#ifndef FRAMEWORK_FRAMEWORK_H
#define FRAMEWORK_FRAMEWORK_H

#include "button.h"
#include "cmdtarget.h"
#include "dialog.h"
#include "winapp.h"
#include "wnd.h"

#endif
