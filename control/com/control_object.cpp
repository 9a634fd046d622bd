// The control object's life: making it, its type information and the control logic with
// the seams it runs on, its reference count, and which interfaces it hands out.
#include "control/com/control_object.h"

#include <utility>

#include "control/com/guarded.h"
#include "control/com/interface_table.h"
#include "host/zip_class.h"

namespace zax::com {

HRESULT ControlObject::create(REFIID iid, void** object) {
  // What the construction throws goes up to the class factory, which answers it.
  ComPtr<ControlObject> control;
  control.attach(new ControlObject());
  const HRESULT hr = control->initialize();
  if (FAILED(hr)) return hr;
  return control->QueryInterface(iid, object);
}

ControlObject::ControlObject()
    : events_(*this, DIID___ZAXTarGzip),
      forwarder_(events_),
      ui_(moduleHandle()),
      container_(*this) {}

HRESULT ControlObject::initialize() {
  HRESULT hr = loadOwnTypeLib(typeLib_.put());
  if (FAILED(hr)) return hr;
  hr = typeLib_->GetTypeInfoOfGuid(IID__ZAXTarGzip, dispatchInfo_.put());
  if (FAILED(hr)) return hr;
  // ITypeInfo::Invoke calls through the vtable, which only the interface side of the
  // dual interface describes.
  HREFTYPE vtableSide = 0;
  if (SUCCEEDED(dispatchInfo_->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide))) {
    hr = dispatchInfo_->GetRefTypeInfo(vtableSide, vtableInfo_.put());
    if (FAILED(hr)) return hr;
  } else {
    vtableInfo_ = dispatchInfo_;
  }
  hr = typeLib_->GetTypeInfoOfGuid(CLSID_ZAXTarGzip, classInfo_.put());
  if (FAILED(hr)) return hr;

  return guarded([&] {
    timer_ = std::make_unique<ui::WindowTimer>(moduleHandle(), static_cast<_ZAXTarGzip*>(this));
    if (timer_->window() == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
    UserInterface& ui = ui_;
    control_ = std::make_unique<ZAXTarGzip>(
        [&ui]() -> std::unique_ptr<EngineHost> { return std::make_unique<ZipClass>(ui); },
        forwarder_, ui_, *timer_, pump_);
    return S_OK;
  });
}

ControlObject::~ControlObject() {
  // The control logic goes first: its end (unloading an idle engine) may still use the
  // seams below it. The rest goes in the members' order (see the class).
  control_.reset();
  timer_.reset();
}

HRESULT STDMETHODCALLTYPE ControlObject::QueryInterface(REFIID iid, void** object) {
  static constexpr InterfaceRow<ControlObject> kInterfaces[] = {
      as<IUnknown, _ZAXTarGzip>,
      as<IDispatch, _ZAXTarGzip>,
      as<_ZAXTarGzip>,
      as<IProvideClassInfo, IProvideClassInfo2>,
      as<IProvideClassInfo2>,
      as<IConnectionPointContainer>,
      as<IOleObject>,
      as<IOleWindow, IOleInPlaceObject>,
      as<IOleInPlaceObject>,
      as<IOleInPlaceActiveObject>,
      as<IOleControl>,
      as<IViewObject, IViewObject2>,
      as<IViewObject2>,
      as<IPersist, IPersistStreamInit>,
      as<IPersistStreamInit>,
      as<IPersistPropertyBag>,
      as<ISupportErrorInfo>,
  };
  return queryInterface(this, kInterfaces, iid, object);
}

ULONG STDMETHODCALLTYPE ControlObject::AddRef() { return InterlockedIncrement(&refs_); }

ULONG STDMETHODCALLTYPE ControlObject::Release() {
  const long refs = InterlockedDecrement(&refs_);
  if (refs == 0) {
    // Whatever the teardown hands this object to must not bring it back to zero again.
    refs_ = 1 << 20;
    delete this;
  }
  return refs;
}

}  // namespace zax::com
