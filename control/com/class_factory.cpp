#include "control/com/class_factory.h"

#include "control/com/control_object.h"
#include "control/com/guarded.h"
#include "control/com/interface_table.h"

namespace zax::com {

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID iid, void** object) {
  static constexpr InterfaceRow<ClassFactory> kInterfaces[] = {
      as<IUnknown, IClassFactory>,
      as<IClassFactory>,
  };
  return queryInterface(this, kInterfaces, iid, object);
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() { return InterlockedIncrement(&refs_); }

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
  const long refs = InterlockedDecrement(&refs_);
  if (refs == 0) delete this;
  return refs;
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return guarded([&] { return ControlObject::create(iid, object); });
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    lockModule();
  } else {
    unlockModule();
  }
  return S_OK;
}

}  // namespace zax::com
