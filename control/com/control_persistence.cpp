// The control object's persistence: it has no state worth keeping, so it saves nothing and
// loads from anything, which lets containers that insist on persisting it do so.
#include "control/com/control_object.h"

namespace zax::com {

HRESULT STDMETHODCALLTYPE ControlObject::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_ZAXTarGzip;
  return S_OK;
}

// ---- IPersistStreamInit ----------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::IsDirty() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE ControlObject::Load(LPSTREAM) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::Save(LPSTREAM, BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::InitNew() { return S_OK; }

// ---- IPersistPropertyBag ---------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::Load(IPropertyBag*, IErrorLog*) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::Save(IPropertyBag*, BOOL, BOOL) { return S_OK; }

}  // namespace zax::com
