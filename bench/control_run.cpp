// control_run OCX list ARCHIVE
// control_run OCX extract ARCHIVE DESTINATION
// (ARCHIVE and DESTINATION as Windows paths.) A C++ host of the control as a Windows
// application holds it: the class from the module's DllGetClassObject (no registration
// needed), a sink on its event interface that counts what arrives, and one call through
// IDispatch, an extraction with WaitExecution set. The benchmark times a million-entry
// listing and a one-member extraction under Wine with it. Prints the entries counted and
// the outcome; exits 0 when the outcome is 0. Without arguments it exits at once (Wine's
// own start). `control_run hold SECONDS` holds a window open (see main).
#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The control's class (resources/ZAXTarGzip.idl).
const CLSID kControlClass = {0xC62AB9BA, 0x37DD, 0x4500, {0x80, 0x19, 0x49, 0x18, 0xDB, 0x74, 0x62, 0x65}};
constexpr DISPID kErrorCode = 1;
constexpr DISPID kTarFileInformation = 4;

// Counts entries and keeps the outcome; nothing else.
class CountingSink final : public IDispatch {
 public:
  explicit CountingSink(const IID& events) : events_(events) {}
  long entries = 0;
  long outcome = -1;
  ULONGLONG first = 0;  // when the first entry arrived

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_) {
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (id == kTarFileInformation) {
      if (entries == 0) first = GetTickCount64();
      ++entries;
    } else if (id == kErrorCode && params->cArgs == 2) {
      // Arguments arrive last first: the number is the second from the end.
      const VARIANT& number = params->rgvarg[1];
      outcome = V_VT(&number) == (VT_I4 | VT_BYREF) ? *V_I4REF(&number) : V_I4(&number);
    }
    return S_OK;
  }

 private:
  IID events_;
};

HRESULT invoke(IDispatch* control, const wchar_t* name, WORD flags, VARIANT* args, UINT count) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{args, flags == DISPATCH_PROPERTYPUT ? &named : nullptr, count,
                    flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  VARIANT result;
  VariantInit(&result);
  hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result, nullptr, nullptr);
  VariantClear(&result);
  return hr;
}

VARIANT text(const char* value) {
  VARIANT v;
  VariantInit(&v);
  const int length = MultiByteToWideChar(CP_UTF8, 0, value, -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length - 1 : 0), L'\0');
  if (length > 1) MultiByteToWideChar(CP_UTF8, 0, value, -1, wide.data(), length);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(wide.c_str());
  return v;
}

int fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "control_run: %s failed (0x%08lx)\n", what, static_cast<unsigned long>(hr));
  return 1;
}

int run(int argc, char** argv) {
  const std::string mode = argv[2];
  if (!((mode == "list" && argc == 4) || (mode == "extract" && argc == 5))) {
    std::fprintf(stderr, "usage: control_run OCX list ARCHIVE | OCX extract ARCHIVE DESTINATION\n");
    return 2;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (!module) return fail("LoadLibrary", HRESULT_FROM_WIN32(GetLastError()));
  auto getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
  if (!getClassObject) return fail("DllGetClassObject", E_FAIL);
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(kControlClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return fail("DllGetClassObject", hr);
  IDispatch* control = nullptr;
  hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&control));
  factory->Release();
  if (FAILED(hr)) return fail("CreateInstance", hr);

  IProvideClassInfo2* info = nullptr;
  GUID events{};
  if (SUCCEEDED(control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)))) {
    info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events);
    info->Release();
  }
  CountingSink sink(events);
  IConnectionPointContainer* container = nullptr;
  IConnectionPoint* point = nullptr;
  DWORD cookie = 0;
  hr = control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(events, &point);
  if (SUCCEEDED(hr)) hr = point->Advise(&sink, &cookie);
  if (container) container->Release();
  if (FAILED(hr)) return fail("Advise", hr);

  if (mode == "list") {
    VARIANT args[] = {text(argv[3])};
    const ULONGLONG start = GetTickCount64();
    hr = invoke(control, L"ZAXListTarFile", DISPATCH_METHOD, args, 1);
    if (std::getenv("CONTROL_RUN_PHASES"))
      std::fprintf(stderr, "before the first entry %llu ms, entries %llu ms\n", sink.first - start,
                   GetTickCount64() - sink.first);
    VariantClear(&args[0]);
  } else {
    VARIANT wait;
    VariantInit(&wait);
    V_VT(&wait) = VT_BOOL;
    V_BOOL(&wait) = VARIANT_TRUE;
    hr = invoke(control, L"WaitExecution", DISPATCH_PROPERTYPUT, &wait, 1);
    // Arguments last first.
    VARIANT args[] = {text("*"), text(argv[4]), text(argv[3])};
    if (SUCCEEDED(hr)) hr = invoke(control, L"ZAXUncompress", DISPATCH_METHOD, args, 3);
    for (VARIANT& arg : args) VariantClear(&arg);
  }
  if (FAILED(hr)) return fail("the call", hr);
  point->Unadvise(cookie);
  point->Release();
  control->Release();
  std::printf("%ld entries, outcome %ld\n", sink.entries, sink.outcome);
  return sink.outcome == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 0;  // Wine's own start
  if (argc == 3 && std::string(argv[1]) == "hold") {
    // Holds a window for that many seconds: Wine starts its desktop for the first window of a
    // session and ends it some time after the last; the benchmark keeps one open for its
    // whole run, as a Windows session always has its desktop.
    CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000u);
    return 0;
  }
  if (argc < 3) return 2;
  if (FAILED(OleInitialize(nullptr))) return 1;
  const int status = run(argc, argv);
  OleUninitialize();
  return status;
}
