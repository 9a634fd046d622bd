// The control's picture (see control_view.h) and the control object's IViewObject2, by which
// a container draws it without a window.
#include "control/com/control_view.h"

#include <algorithm>

#include "control/com/control_object.h"
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

// ---- IViewObject2 ----------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                                              HDC drawDc, LPCRECTL bounds, LPCRECTL,
                                              BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (drawDc == nullptr) return E_INVALIDARG;
  RECT r{};
  if (bounds != nullptr) {
    r = RECT{bounds->left, bounds->top, bounds->right, bounds->bottom};
  } else if (container_.window() != nullptr) {
    GetClientRect(container_.window(), &r);
  } else {
    return E_INVALIDARG;
  }
  paintControl(drawDc, r);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                                     LOGPALETTE** colors) {
  if (colors == nullptr) return E_POINTER;
  *colors = nullptr;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE ControlObject::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE ControlObject::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewAdvise_.sink = sink;
  viewAdvise_.aspects = aspects;
  viewAdvise_.flags = flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetAdvise(DWORD* aspects, DWORD* flags,
                                                   IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = viewAdvise_.aspects;
  if (flags != nullptr) *flags = viewAdvise_.flags;
  if (sink != nullptr) viewAdvise_.sink.copyTo(sink);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*,
                                                   LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
  *size = fixedSizeHimetric();
  return S_OK;
}

}  // namespace zax::com
