// What the registry and the control object both say about the control's class, kept in one
// place so that the two cannot disagree.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace zax::com {

// The ProgID under which the class is registered; also the source of its errors.
inline constexpr wchar_t kProgId[] = L"ZAXTarGzip200a.ZAXTarGzip";

// How the control wants to be treated by a container (IOleObject::GetMiscStatus, and the
// class's MiscStatus key).
inline constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE |
                                     OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                     OLEMISC_INSIDEOUT;

}  // namespace zax::com
