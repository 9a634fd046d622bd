// The control's picture (see control_view.h).
#include "control/com/control_view.h"

#include <algorithm>

#include "control/com/module.h"
#include "resources/resource_ids.h"

namespace zax::com {
namespace {

constexpr char kControlWindowClass[] = "ZAXTarGzipControlWindow";
constexpr LONG kTwipsPerInch = 1440;
constexpr LONG kHimetricPerInch = 2540;

// The window only shows the picture, which depends on nothing but the module's icon: it
// needs no pointer back to the control.
LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      if (dc != nullptr) {
        RECT client;
        GetClientRect(window, &client);
        paintControl(dc, client);
      }
      EndPaint(window, &ps);
      return 0;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

bool registerControlWindowClass(HINSTANCE module) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &controlWindowProc;
  wc.hInstance = module;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kControlWindowClass;
  return RegisterClassExA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

SIZEL fixedSizeHimetric() {
  const LONG side = MulDiv(kFixedSizeTwips, kHimetricPerInch, kTwipsPerInch);
  return SIZEL{side, side};
}

SIZE fixedSizePixels() {
  HDC screen = GetDC(nullptr);
  const int dpiX = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  const int dpiY = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return SIZE{MulDiv(kFixedSizeTwips, dpiX, kTwipsPerInch),
              MulDiv(kFixedSizeTwips, dpiY, kTwipsPerInch)};
}

void paintControl(HDC dc, const RECT& bounds) {
  RECT r = bounds;
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
  const int side = std::min<int>(32, std::min(r.right - r.left, r.bottom - r.top) - 4);
  if (side <= 0) return;
  auto icon = static_cast<HICON>(LoadImageA(moduleHandle(), MAKEINTRESOURCEA(IDI_CONTROL),
                                            IMAGE_ICON, 32, 32, LR_SHARED));
  if (icon == nullptr) return;
  const int x = r.left + (r.right - r.left - side) / 2;
  const int y = r.top + (r.bottom - r.top - side) / 2;
  DrawIconEx(dc, x, y, icon, side, side, 0, nullptr, DI_NORMAL);
}

HWND createControlWindow(HWND parent, POINT at, SIZE size) {
  if (!registerControlWindowClass(moduleHandle())) return nullptr;
  return CreateWindowExA(0, kControlWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                         at.x, at.y, size.cx, size.cy, parent, nullptr, moduleHandle(), nullptr);
}

void unregisterControlWindowClass(HINSTANCE module) {
  UnregisterClassA(kControlWindowClass, module);
}

}  // namespace zax::com
