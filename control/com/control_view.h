// The control's picture: the fixed size it keeps whatever its container asks, the painting,
// and the child window that shows it while the control is active in place. The control
// object's IViewObject2 draws the same picture into a container's device context.
#pragma once

#include <windows.h>

namespace zax::com {

// The control keeps this size, in twips, whatever size its container asks for.
constexpr LONG kFixedSizeTwips = 550;

// The fixed size in HIMETRIC units, the unit of OLE extents.
SIZEL fixedSizeHimetric();
// The fixed size in pixels of the screen.
SIZE fixedSizePixels();

// Paints the control (a raised face with its icon) into bounds.
void paintControl(HDC dc, const RECT& bounds);

// Makes the control's window, a visible child of parent, with its top left corner at `at`;
// null when it cannot be made.
HWND createControlWindow(HWND parent, POINT at, SIZE size);

// Removes the window class of the control's window; for the module's unload.
void unregisterControlWindowClass(HINSTANCE module);

}  // namespace zax::com
