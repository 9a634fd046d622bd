// Self-registration of the control (DllRegisterServer and DllUnregisterServer do no more
// than call these).
#pragma once

#include <windows.h>

namespace zax::com {

// Writes the class, its ProgID and the type library; on failure takes back what it wrote.
// S_OK, SELFREG_E_CLASS or SELFREG_E_TYPELIB; throws only what the standard library throws.
HRESULT registerServer();

// Removes what registerServer writes for this width. S_OK, SELFREG_E_CLASS or
// SELFREG_E_TYPELIB.
HRESULT unregisterServer();

}  // namespace zax::com
