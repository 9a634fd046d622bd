// Form1, the control's About box: a dialog resource of the control's module, showing the
// maker's details of common/maker.h.
#pragma once

#include <windows.h>

#include <string>

namespace zax::ui {

// Shows Form1 modally with no owner window, captioned with caption; returns when the user
// has closed it. Every call loads the form afresh.
void showForm1(HINSTANCE module, const std::wstring& caption);

}  // namespace zax::ui
