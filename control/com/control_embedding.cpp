// The control object as an embedded OLE object: IOleObject, in-place activation
// (IOleInPlaceObject, IOleInPlaceActiveObject) and IOleControl. What it knows of its
// container, and the steps of activation, are the business of its ContainerState.
#include "control/com/control_class.h"
#include "control/com/control_object.h"
#include "control/com/control_view.h"

namespace zax::com {

// ---- IOleObject ---------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::SetClientSite(IOleClientSite* site) {
  container_.setClientSite(site);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  container_.clientSite().copyTo(site);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::Close(DWORD) {
  container_.deactivate();
  container_.sendOnClose();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::InitFromData(IDataObject*, BOOL, DWORD) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetClipboardData(DWORD, IDataObject** data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlObject::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG,
                                                HWND, LPCRECT) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
      return container_.activate(activeSite, false);
    case OLEIVERB_UIACTIVATE:
      return container_.activate(activeSite, true);
    case OLEIVERB_HIDE:
      container_.hide();
      return S_OK;
    default:
      // No window of its own to open and no other verbs.
      return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT STDMETHODCALLTYPE ControlObject::EnumVerbs(IEnumOLEVERB** verbs) {
  if (verbs != nullptr) *verbs = nullptr;
  return OLE_S_USEREG;
}

HRESULT STDMETHODCALLTYPE ControlObject::Update() { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::IsUpToDate() { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::GetUserClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_ZAXTarGzip;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetUserType(DWORD, LPOLESTR* type) {
  if (type != nullptr) *type = nullptr;
  return OLE_S_USEREG;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size == nullptr) return E_POINTER;
  // The control keeps its own size whatever the container asks for; GetExtent says which.
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetExtent(DWORD aspect, SIZEL* size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = fixedSizeHimetric();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::Advise(IAdviseSink* sink, DWORD* connection) {
  if (connection == nullptr) return E_POINTER;
  *connection = 0;
  return container_.advise(sink, connection);
}

HRESULT STDMETHODCALLTYPE ControlObject::Unadvise(DWORD connection) {
  return container_.unadvise(connection);
}

HRESULT STDMETHODCALLTYPE ControlObject::EnumAdvise(IEnumSTATDATA** advises) {
  if (advises == nullptr) return E_POINTER;
  *advises = nullptr;
  return container_.enumAdvise(advises);
}

HRESULT STDMETHODCALLTYPE ControlObject::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject --------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = container_.window();
  return *window != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE ControlObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::InPlaceDeactivate() {
  container_.deactivate();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::UIDeactivate() {
  container_.uiDeactivate();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  container_.setObjectRects(*position);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }

HRESULT STDMETHODCALLTYPE ControlObject::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT STDMETHODCALLTYPE ControlObject::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
  return S_OK;
}
HRESULT STDMETHODCALLTYPE ControlObject::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl ---------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::GetControlInfo(CONTROLINFO* info) {
  if (info == nullptr) return E_POINTER;
  // No mnemonics and no keyboard handling of its own.
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::OnMnemonic(MSG*) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::OnAmbientPropertyChange(DISPID) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::FreezeEvents(BOOL) { return S_OK; }

}  // namespace zax::com
