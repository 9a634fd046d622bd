// The control object's IViewObject2, by which a container draws the control's picture
// (control_view.h) without a window.
#include "control/com/control_object.h"
#include "control/com/control_view.h"

namespace zax::com {

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
