#include "control/com/control_object.h"

#include <algorithm>
#include <new>
#include <utility>

#include "control/com/module.h"
#include "host/ansi_text.h"
#include "host/zip_class.h"
#include "resources/resource_ids.h"

namespace zax::com {

namespace {

constexpr char kControlWindowClass[] = "ZAXTarGzipControlWindow";
constexpr LONG kTwipsPerInch = 1440;
constexpr LONG kHimetricPerInch = 2540;

// The fixed size in HIMETRIC units, the unit of OLE extents.
SIZEL fixedSizeHimetric() {
  const LONG side = MulDiv(kFixedSizeTwips, kHimetricPerInch, kTwipsPerInch);
  return SIZEL{side, side};
}

std::wstring fromBstr(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

HRESULT toBstr(const std::wstring& text, BSTR* out) {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

template <class T>
void releaseAndClear(T*& pointer) {
  if (pointer != nullptr) {
    T* p = pointer;
    pointer = nullptr;
    p->Release();
  }
}

bool registerControlWindowClass(HINSTANCE module, WNDPROC proc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = module;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kControlWindowClass;
  return RegisterClassExA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

void unregisterControlWindowClass(HINSTANCE module) {
  UnregisterClassA(kControlWindowClass, module);
}

// ---- life ------------------------------------------------------------------------------

HRESULT ControlObject::create(REFIID iid, void** object) {
  auto* control = new (std::nothrow) ControlObject();
  if (control == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = control->initialize();
  if (SUCCEEDED(hr)) hr = control->QueryInterface(iid, object);
  control->Release();
  return hr;
}

ControlObject::ControlObject()
    : events_(*this, DIID___ZAXTarGzip), forwarder_(events_), ui_(moduleHandle()) {
  lockModule();
}

HRESULT ControlObject::initialize() {
  HRESULT hr = loadOwnTypeLib(&typeLib_);
  if (FAILED(hr)) return hr;
  hr = typeLib_->GetTypeInfoOfGuid(IID__ZAXTarGzip, &dispatchInfo_);
  if (FAILED(hr)) return hr;
  // ITypeInfo::Invoke calls through the vtable, which only the interface side of the
  // dual interface describes.
  HREFTYPE vtableSide = 0;
  if (SUCCEEDED(dispatchInfo_->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableSide))) {
    hr = dispatchInfo_->GetRefTypeInfo(vtableSide, &vtableInfo_);
    if (FAILED(hr)) return hr;
  } else {
    vtableInfo_ = dispatchInfo_;
    vtableInfo_->AddRef();
  }
  hr = typeLib_->GetTypeInfoOfGuid(CLSID_ZAXTarGzip, &classInfo_);
  if (FAILED(hr)) return hr;

  try {
    timer_ = std::make_unique<ui::WindowTimer>(moduleHandle(), static_cast<_ZAXTarGzip*>(this));
    if (timer_->window() == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
    UserInterface& ui = ui_;
    control_ = std::make_unique<ZAXTarGzip>(
        [&ui]() -> std::unique_ptr<EngineHost> { return std::make_unique<ZipClass>(ui); },
        forwarder_, ui_, *timer_, pump_);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

ControlObject::~ControlObject() {
  // The control logic goes first: its end (unloading an idle engine) may still use the
  // seams below it.
  control_.reset();
  timer_.reset();
  if (window_ != nullptr) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }
  releaseAndClear(inPlaceSite_);
  releaseAndClear(clientSite_);
  releaseAndClear(oleAdviseHolder_);
  releaseAndClear(viewAdviseSink_);
  events_.disconnectAll();
  releaseAndClear(classInfo_);
  releaseAndClear(vtableInfo_);
  releaseAndClear(dispatchInfo_);
  releaseAndClear(typeLib_);
  unlockModule();
}

HRESULT STDMETHODCALLTYPE ControlObject::QueryInterface(REFIID iid, void** object) {
  struct Entry {
    const IID* iid;
    void* (*cast)(ControlObject*);
  };
  static const Entry kInterfaces[] = {
      {&IID_IUnknown, [](ControlObject* o) -> void* { return static_cast<_ZAXTarGzip*>(o); }},
      {&IID_IDispatch, [](ControlObject* o) -> void* { return static_cast<_ZAXTarGzip*>(o); }},
      {&IID__ZAXTarGzip, [](ControlObject* o) -> void* { return static_cast<_ZAXTarGzip*>(o); }},
      {&IID_IProvideClassInfo,
       [](ControlObject* o) -> void* { return static_cast<IProvideClassInfo2*>(o); }},
      {&IID_IProvideClassInfo2,
       [](ControlObject* o) -> void* { return static_cast<IProvideClassInfo2*>(o); }},
      {&IID_IConnectionPointContainer,
       [](ControlObject* o) -> void* { return static_cast<IConnectionPointContainer*>(o); }},
      {&IID_IOleObject, [](ControlObject* o) -> void* { return static_cast<IOleObject*>(o); }},
      {&IID_IOleWindow, [](ControlObject* o) -> void* { return static_cast<IOleInPlaceObject*>(o); }},
      {&IID_IOleInPlaceObject,
       [](ControlObject* o) -> void* { return static_cast<IOleInPlaceObject*>(o); }},
      {&IID_IOleInPlaceActiveObject,
       [](ControlObject* o) -> void* { return static_cast<IOleInPlaceActiveObject*>(o); }},
      {&IID_IOleControl, [](ControlObject* o) -> void* { return static_cast<IOleControl*>(o); }},
      {&IID_IViewObject, [](ControlObject* o) -> void* { return static_cast<IViewObject2*>(o); }},
      {&IID_IViewObject2, [](ControlObject* o) -> void* { return static_cast<IViewObject2*>(o); }},
      {&IID_IPersist, [](ControlObject* o) -> void* { return static_cast<IPersistStreamInit*>(o); }},
      {&IID_IPersistStreamInit,
       [](ControlObject* o) -> void* { return static_cast<IPersistStreamInit*>(o); }},
      {&IID_IPersistPropertyBag,
       [](ControlObject* o) -> void* { return static_cast<IPersistPropertyBag*>(o); }},
      {&IID_ISupportErrorInfo,
       [](ControlObject* o) -> void* { return static_cast<ISupportErrorInfo*>(o); }},
  };
  if (object == nullptr) return E_POINTER;
  for (const Entry& entry : kInterfaces) {
    if (IsEqualIID(iid, *entry.iid)) {
      *object = entry.cast(this);
      AddRef();
      return S_OK;
    }
  }
  *object = nullptr;
  return E_NOINTERFACE;
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

// ---- IDispatch -------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = dispatchInfo_;
  dispatchInfo_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                       LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(dispatchInfo_, names, count, ids);
}

HRESULT STDMETHODCALLTYPE ControlObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                                DISPPARAMS* params, VARIANT* result,
                                                EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  AddRef();
  pendingError_.reset();
  HRESULT hr = vtableInfo_->Invoke(static_cast<_ZAXTarGzip*>(this), id, flags, params, result,
                                   exception, argError);
  if (FAILED(hr) && pendingError_) {
    // The caller gets the number and text of the engine host's error, not whatever the
    // type library's Invoke made of the member's HRESULT.
    if (exception != nullptr) {
      if (hr == DISP_E_EXCEPTION) {
        SysFreeString(exception->bstrSource);
        SysFreeString(exception->bstrDescription);
        SysFreeString(exception->bstrHelpFile);
      }
      *exception = EXCEPINFO{};
      exception->scode = pendingError_->scode;
      exception->bstrSource = SysAllocString(kProgId);
      exception->bstrDescription = SysAllocStringLen(
          pendingError_->description.data(), static_cast<UINT>(pendingError_->description.size()));
    }
    pendingError_.reset();
    hr = DISP_E_EXCEPTION;
  }
  Release();
  return hr;
}

template <class Body>
HRESULT ControlObject::run(Body&& body) {
  AddRef();
  pendingError_.reset();
  HRESULT hr;
  try {
    hr = body();
  } catch (const HostError& error) {
    hr = raiseHostError(error.number(), fromAnsi(error.description()));
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  Release();  // may end the object: nothing of it is touched after this
  return hr;
}

template <class Action>
HRESULT ControlObject::runReturningEmpty(VARIANT* Result, Action&& action) {
  if (Result == nullptr) return E_POINTER;
  VariantInit(Result);
  return run([&] {
    action();
    return S_OK;
  });
}

template <class Produce>
HRESULT ControlObject::runReturningText(BSTR* Result, Produce&& produce) {
  if (Result == nullptr) return E_POINTER;
  *Result = nullptr;
  return run([&] { return toBstr(produce(), Result); });
}

HRESULT ControlObject::raiseHostError(std::int32_t number, const std::wstring& description) {
  // The HRESULT by which automation clients know a numbered error (Err.Number = number).
  const HRESULT scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFF);
  pendingError_ = PendingError{scode, description};
  // Vtable clients read the same through the thread's error object.
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(IID__ZAXTarGzip);
    create->SetSource(const_cast<LPOLESTR>(kProgId));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return scode;
}

// ---- _ZAXTarGzip ------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::ZAXListTarFile(BSTR TarFile, VARIANT* Result) {
  return runReturningEmpty(Result, [&] { control_->ZAXListTarFile(fromBstr(TarFile)); });
}

HRESULT STDMETHODCALLTYPE ControlObject::ZAXUncompress(BSTR TarFile, BSTR DestinationDir,
                                                       BSTR FilesSelection, VARIANT* Result) {
  return runReturningEmpty(Result, [&] {
    control_->ZAXUncompress(fromBstr(TarFile), fromBstr(DestinationDir), fromBstr(FilesSelection));
  });
}

HRESULT STDMETHODCALLTYPE ControlObject::ControlName(BSTR* Result) {
  return runReturningText(Result, [&] { return control_->ControlName(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::ZAXBrowseForFolder(BSTR* Title, BSTR* InitDir,
                                                            BSTR* Result) {
  if (Title == nullptr || InitDir == nullptr) return E_POINTER;
  return runReturningText(Result, [&] {
    return control_->ZAXBrowseForFolder(fromBstr(*Title), fromBstr(*InitDir));
  });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetCPUSpeed(BSTR* Result) {
  return runReturningText(Result, [&] { return control_->GetCPUSpeed(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetCPUVendor(BSTR* Result) {
  return runReturningText(Result, [&] { return control_->GetCPUVendor(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetCPUBrandString(BSTR* Result) {
  return runReturningText(Result, [&] { return control_->GetCPUBrandString(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::put_WaitExecution(VARIANT_BOOL* WaitFlag) {
  if (WaitFlag == nullptr) return E_POINTER;
  return run([&] {
    control_->WaitExecution(*WaitFlag != VARIANT_FALSE);
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ControlObject::PauseExecution(VARIANT* Result) {
  return runReturningEmpty(Result, [&] { control_->PauseExecution(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::ResumeExecution(VARIANT* Result) {
  return runReturningEmpty(Result, [&] { control_->ResumeExecution(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::CancelExecution(VARIANT* Result) {
  return runReturningEmpty(Result, [&] { control_->CancelExecution(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::About(VARIANT* Result) {
  return runReturningEmpty(Result, [&] { control_->About(); });
}

HRESULT STDMETHODCALLTYPE ControlObject::get_GetLastError(LONG* Result) {
  if (Result == nullptr) return E_POINTER;
  *Result = control_->GetLastError();
  return S_OK;
}

// ---- IProvideClassInfo2, IConnectionPointContainer, ISupportErrorInfo -------------------

HRESULT STDMETHODCALLTYPE ControlObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = classInfo_;
  classInfo_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetGUID(DWORD kind, GUID* guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID___ZAXTarGzip;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return makeConnectionPointEnumerator(&events_, points);
}

HRESULT STDMETHODCALLTYPE ControlObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (point == nullptr) return E_POINTER;
  if (!IsEqualIID(iid, DIID___ZAXTarGzip)) {
    *point = nullptr;
    return CONNECT_E_NOCONNECTION;
  }
  *point = &events_;
  events_.AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID__ZAXTarGzip) ? S_OK : S_FALSE;
}

// ---- IOleObject ---------------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::SetClientSite(IOleClientSite* site) {
  if (site != nullptr) site->AddRef();
  releaseAndClear(clientSite_);
  clientSite_ = site;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetClientSite(IOleClientSite** site) {
  if (site == nullptr) return E_POINTER;
  *site = clientSite_;
  if (clientSite_ != nullptr) clientSite_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::Close(DWORD) {
  InPlaceDeactivate();
  if (oleAdviseHolder_ != nullptr) oleAdviseHolder_->SendOnClose();
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
      return activateInPlace(activeSite, false);
    case OLEIVERB_UIACTIVATE:
      return activateInPlace(activeSite, true);
    case OLEIVERB_HIDE:
      if (window_ != nullptr) ShowWindow(window_, SW_HIDE);
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
  if (oleAdviseHolder_ == nullptr) {
    const HRESULT hr = CreateOleAdviseHolder(&oleAdviseHolder_);
    if (FAILED(hr)) return hr;
  }
  return oleAdviseHolder_->Advise(sink, connection);
}

HRESULT STDMETHODCALLTYPE ControlObject::Unadvise(DWORD connection) {
  if (oleAdviseHolder_ == nullptr) return OLE_E_NOCONNECTION;
  return oleAdviseHolder_->Unadvise(connection);
}

HRESULT STDMETHODCALLTYPE ControlObject::EnumAdvise(IEnumSTATDATA** advises) {
  if (advises == nullptr) return E_POINTER;
  *advises = nullptr;
  if (oleAdviseHolder_ == nullptr) return S_OK;
  return oleAdviseHolder_->EnumAdvise(advises);
}

HRESULT STDMETHODCALLTYPE ControlObject::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (status == nullptr) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? kMiscStatus : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---- in-place activation ----------------------------------------------------------------

SIZE ControlObject::fixedSizePixels() const {
  HDC screen = GetDC(nullptr);
  const int dpiX = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  const int dpiY = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return SIZE{MulDiv(kFixedSizeTwips, dpiX, kTwipsPerInch),
              MulDiv(kFixedSizeTwips, dpiY, kTwipsPerInch)};
}

HRESULT ControlObject::activateInPlace(IOleClientSite* activeSite, bool uiActivate) {
  if (window_ == nullptr) {
    IOleClientSite* site = activeSite != nullptr ? activeSite : clientSite_;
    if (site == nullptr) return E_UNEXPECTED;
    IOleInPlaceSite* inPlaceSite = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlaceSite)))) {
      return OLEOBJ_S_CANNOT_DOVERB_NOW;
    }
    if (inPlaceSite->CanInPlaceActivate() != S_OK) {
      inPlaceSite->Release();
      return OLEOBJ_S_CANNOT_DOVERB_NOW;
    }
    inPlaceSite->OnInPlaceActivate();

    HWND parent = nullptr;
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    inPlaceSite->GetWindow(&parent);
    inPlaceSite->GetWindowContext(&frame, &document, &position, &clip, &frameInfo);
    releaseAndClear(frame);
    releaseAndClear(document);

    const SIZE size = fixedSizePixels();
    if (parent != nullptr && registerControlWindowClass(moduleHandle(), &ControlObject::windowProc)) {
      window_ = CreateWindowExA(0, kControlWindowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                position.left, position.top, size.cx, size.cy, parent, nullptr,
                                moduleHandle(), this);
    }
    if (window_ == nullptr) {
      inPlaceSite->OnInPlaceDeactivate();
      inPlaceSite->Release();
      return E_FAIL;
    }
    inPlaceSite_ = inPlaceSite;
    // The container placed the control at its own size; the control keeps the fixed one
    // and tells the container.
    if (position.right - position.left != size.cx || position.bottom - position.top != size.cy) {
      RECT fixed{position.left, position.top, position.left + size.cx, position.top + size.cy};
      settingRects_ = true;
      inPlaceSite_->OnPosRectChange(&fixed);
      settingRects_ = false;
    }
  }
  if (uiActivate && !uiActive_ && inPlaceSite_ != nullptr) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    if (SUCCEEDED(inPlaceSite_->GetWindowContext(&frame, &document, &position, &clip, &frameInfo))) {
      if (frame != nullptr) frame->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), nullptr);
      if (document != nullptr) {
        document->SetActiveObject(static_cast<IOleInPlaceActiveObject*>(this), nullptr);
      }
    }
    releaseAndClear(frame);
    releaseAndClear(document);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE ControlObject::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE ControlObject::InPlaceDeactivate() {
  UIDeactivate();
  if (window_ != nullptr) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
    window_ = nullptr;
  }
  if (inPlaceSite_ != nullptr) {
    IOleInPlaceSite* site = inPlaceSite_;
    inPlaceSite_ = nullptr;
    site->OnInPlaceDeactivate();
    site->Release();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::UIDeactivate() {
  if (!uiActive_) return S_OK;
  uiActive_ = false;
  if (inPlaceSite_ != nullptr) {
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    if (SUCCEEDED(inPlaceSite_->GetWindowContext(&frame, &document, &position, &clip, &frameInfo))) {
      if (frame != nullptr) frame->SetActiveObject(nullptr, nullptr);
      if (document != nullptr) document->SetActiveObject(nullptr, nullptr);
    }
    releaseAndClear(frame);
    releaseAndClear(document);
    inPlaceSite_->OnUIDeactivate(FALSE);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  if (window_ == nullptr) return S_OK;
  // Whatever size the container gives, the control takes its place at its own size.
  const SIZE size = fixedSizePixels();
  SetWindowPos(window_, nullptr, position->left, position->top, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  const bool resized = position->right - position->left != size.cx ||
                       position->bottom - position->top != size.cy;
  if (resized && !settingRects_ && inPlaceSite_ != nullptr) {
    RECT fixed{position->left, position->top, position->left + size.cx, position->top + size.cy};
    settingRects_ = true;
    inPlaceSite_->OnPosRectChange(&fixed);
    settingRects_ = false;
  }
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

// ---- IViewObject2 ----------------------------------------------------------------------------

void ControlObject::paint(HDC dc, const RECT& bounds) const {
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

LRESULT CALLBACK ControlObject::windowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      auto* self = reinterpret_cast<ControlObject*>(GetWindowLongPtrA(window, GWLP_USERDATA));
      if (self != nullptr && dc != nullptr) {
        RECT client;
        GetClientRect(window, &client);
        self->paint(dc, client);
      }
      EndPaint(window, &ps);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HRESULT STDMETHODCALLTYPE ControlObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC,
                                              HDC drawDc, LPCRECTL bounds, LPCRECTL,
                                              BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (drawDc == nullptr) return E_INVALIDARG;
  RECT r{};
  if (bounds != nullptr) {
    r = RECT{bounds->left, bounds->top, bounds->right, bounds->bottom};
  } else if (window_ != nullptr) {
    GetClientRect(window_, &r);
  } else {
    return E_INVALIDARG;
  }
  paint(drawDc, r);
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
  if (sink != nullptr) sink->AddRef();
  releaseAndClear(viewAdviseSink_);
  viewAdviseSink_ = sink;
  viewAdviseAspects_ = aspects;
  viewAdviseFlags_ = flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects != nullptr) *aspects = viewAdviseAspects_;
  if (flags != nullptr) *flags = viewAdviseFlags_;
  if (sink != nullptr) {
    *sink = viewAdviseSink_;
    if (viewAdviseSink_ != nullptr) viewAdviseSink_->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_INVALIDARG;
  *size = fixedSizeHimetric();
  return S_OK;
}

// ---- persistence: nothing is kept --------------------------------------------------------

HRESULT STDMETHODCALLTYPE ControlObject::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_ZAXTarGzip;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::IsDirty() { return S_FALSE; }
HRESULT STDMETHODCALLTYPE ControlObject::Load(LPSTREAM) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::Save(LPSTREAM, BOOL) { return S_OK; }

HRESULT STDMETHODCALLTYPE ControlObject::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::InitNew() { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::Load(IPropertyBag*, IErrorLog*) { return S_OK; }
HRESULT STDMETHODCALLTYPE ControlObject::Save(IPropertyBag*, BOOL, BOOL) { return S_OK; }

}  // namespace zax::com
