// The control object as an automation server: IDispatch over the type library's
// description of _ZAXTarGzip, the published members (each one call into the control logic),
// the errors they raise, the class information and the events' connection point.
#include <string>

#include "control/com/control_class.h"
#include "control/com/control_object.h"
#include "control/com/dispatch_arguments.h"
#include "control/com/guarded.h"
#include "common/utf8.h"

namespace zax::com {
namespace {

std::wstring fromBstr(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

HRESULT toBstr(const std::wstring& text, BSTR* out) {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace

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
  dispatchInfo_.copyTo(info);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlObject::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                       LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(dispatchInfo_.get(), names, count, ids);
}

HRESULT STDMETHODCALLTYPE ControlObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags,
                                                DISPPARAMS* params, VARIANT* result,
                                                EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const ComPtr<ControlObject> keepAlive(this);
  pendingError_.reset();
  // Script hosts pass variables by reference as Variants and expressions in whatever type
  // they have; each argument is made into its declared type first, and [in, out] values
  // go back into the caller's variables after the call.
  DispatchArguments arguments;
  HRESULT hr = arguments.prepare(vtableInfo_.get(), id, flags, params, argError);
  if (FAILED(hr)) return hr;
  hr = vtableInfo_->Invoke(static_cast<_ZAXTarGzip*>(this), id, flags, arguments.params(), result,
                           exception, argError);
  if (SUCCEEDED(hr)) arguments.writeBack();
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
  return hr;
}

template <class Body>
HRESULT ControlObject::run(Body&& body) {
  // Let go of last, after the call: it may be the object's end.
  const ComPtr<ControlObject> keepAlive(this);
  pendingError_.reset();
  return guarded([&] {
    try {
      return body();
    } catch (const HostError& error) {
      return raiseHostError(error.number(), fromUtf8(error.description()));
    }
  });
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
  ComPtr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.put()))) {
    create->SetGUID(IID__ZAXTarGzip);
    create->SetSource(const_cast<LPOLESTR>(kProgId));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.queryTo(info))) SetErrorInfo(0, info.get());
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

HRESULT STDMETHODCALLTYPE ControlObject::get_NumberOfFailedMembers(LONG* Result) {
  if (Result == nullptr) return E_POINTER;
  *Result = 0;
  return run([&] {
    *Result = control_->NumberOfFailedMembers();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE ControlObject::GetFailedMember(LONG Index, BSTR* Name, BSTR* Reason,
                                                         VARIANT_BOOL* Result) {
  if (Name == nullptr || Reason == nullptr || Result == nullptr) return E_POINTER;
  *Result = VARIANT_FALSE;
  return run([&] {
    std::wstring name, reason;
    const bool named = control_->GetFailedMember(Index, name, reason);
    BSTR nameText = nullptr, reasonText = nullptr;
    if (FAILED(toBstr(name, &nameText)) || FAILED(toBstr(reason, &reasonText))) {
      SysFreeString(nameText);
      return E_OUTOFMEMORY;
    }
    SysFreeString(*Name);
    *Name = nameText;
    SysFreeString(*Reason);
    *Reason = reasonText;
    *Result = named ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  });
}

// ---- IProvideClassInfo2, IConnectionPointContainer, ISupportErrorInfo -------------------

HRESULT STDMETHODCALLTYPE ControlObject::GetClassInfo(ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  classInfo_.copyTo(info);
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

}  // namespace zax::com
