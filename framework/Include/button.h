// button.h - a push button of a dialog, bound with DDX_Control.
#ifndef FRAMEWORK_BUTTON_H
#define FRAMEWORK_BUTTON_H

#include "wnd.h"

class CButton : public CWnd {};

#endif
