#include "tests/control/com/automation.h"

#include <algorithm>

#include "common/unique_handle.h"
#include "common/utf8.h"
#include "common/wine_paths.h"
#include "host/engine_file.h"

namespace comtest {

std::wstring ocxPath() {
  // The build gives the module's path as the Linux file system sees it; Wine shows the
  // Linux root as drive Z:.
  return zax::fromUtf8(untgz::paths::windowsPathOf(ZAX_OCX_PATH));
}

DWORD runProcess(const std::wstring& commandLine, DWORD timeoutMs, std::string* output) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readHandle = nullptr, writeHandle = nullptr;
  if (!CreatePipe(&readHandle, &writeHandle, &inherit, 0)) return 0xFFFFFFFF;
  const zax::UniqueKernelHandle readOwner(readHandle);
  zax::UniqueKernelHandle writeEnd(writeHandle);
  const HANDLE readEnd = readOwner.get();
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  PROCESS_INFORMATION process{};
  std::wstring line = commandLine;
  const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  writeEnd.reset();  // the child's copy is the only one left: the pipe ends when it exits
  if (!started) return 0xFFFFFFFF;
  const zax::UniqueKernelHandle thread(process.hThread), running(process.hProcess);

  const DWORD start = GetTickCount();
  bool finished = false;
  for (;;) {
    DWORD available = 0;
    while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      char buffer[4096];
      DWORD got = 0;
      if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof(buffer)), &got, nullptr) ||
          got == 0) {
        break;
      }
      if (output != nullptr) output->append(buffer, got);
    }
    if (finished) break;
    if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
      finished = true;  // one more round drains what is left in the pipe
      continue;
    }
    if (GetTickCount() - start > timeoutMs) {
      TerminateProcess(process.hProcess, 0xFFFFFFFF);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  DWORD code = 0xFFFFFFFF;
  if (finished) GetExitCodeProcess(process.hProcess, &code);
  return code;
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

// ---- Var --------------------------------------------------------------------------------

Var::Var(const wchar_t* text) : Var(std::wstring(text)) {}

Var::Var(const std::wstring& text) {
  VariantInit(&v_);
  V_VT(&v_) = VT_BSTR;
  V_BSTR(&v_) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

Var::Var(long value) {
  VariantInit(&v_);
  V_VT(&v_) = VT_I4;
  V_I4(&v_) = value;
}

Var::Var(bool value) {
  VariantInit(&v_);
  V_VT(&v_) = VT_BOOL;
  V_BOOL(&v_) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Var Var::byRef(BSTR* text) {
  Var v;
  V_VT(&v.v_) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&v.v_) = text;
  return v;
}

Var Var::byRef(VARIANT* variable) {
  Var v;
  V_VT(&v.v_) = VT_VARIANT | VT_BYREF;
  V_VARIANTREF(&v.v_) = variable;
  return v;
}

Var::Var(const Var& other) {
  VariantInit(&v_);
  VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Var& Var::operator=(const Var& other) {
  if (this != &other) VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
  return *this;
}

std::wstring Var::text() const {
  if (V_VT(&v_) != VT_BSTR || V_BSTR(&v_) == nullptr) return std::wstring();
  return std::wstring(V_BSTR(&v_), SysStringLen(V_BSTR(&v_)));
}

// ---- events -----------------------------------------------------------------------------

std::wstring describe(const Event& event) {
  switch (event.id) {
    case kFinished:
      return L"Finished";
    case kProgress:
      return L"Progress(" + std::to_wstring(event.numbers.empty() ? -1 : event.numbers[0]) + L")";
    case kErrorCode:
      return L"ErrorCode(" + std::to_wstring(event.numbers.empty() ? -1 : event.numbers[0]) + L"," +
             event.text + L")";
    case kTarFileInformation: {
      std::wstring out = L"TarFileInformation(";
      for (size_t i = 0; i < event.numbers.size(); ++i) {
        if (i == 7) out += event.text + L",";  // filename comes after Second
        out += std::to_wstring(event.numbers[i]);
        if (i + 1 < event.numbers.size()) out += L",";
      }
      return out + L")";
    }
    default:
      return L"Unknown(" + std::to_wstring(event.id) + L")";
  }
}

std::vector<std::wstring> EventRecorder::log() const {
  std::vector<std::wstring> out;
  for (const Event& e : events) out.push_back(describe(e));
  return out;
}

bool EventRecorder::has(DISPID id) const {
  return std::any_of(events.begin(), events.end(), [id](const Event& e) { return e.id == id; });
}

HRESULT STDMETHODCALLTYPE EventRecorder::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, eventIid_)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE EventRecorder::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE EventRecorder::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE EventRecorder::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE EventRecorder::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                                VARIANT*, EXCEPINFO*, UINT*) {
  Event event;
  event.id = id;
  // Arguments arrive last first.
  for (UINT i = params->cArgs; i-- > 0;) {
    const VARIANT& arg = params->rgvarg[i];
    event.types.push_back(V_VT(&arg));
    switch (V_VT(&arg)) {
      case VT_I4:
        event.numbers.push_back(V_I4(&arg));
        break;
      case VT_I4 | VT_BYREF:
        event.numbers.push_back(*V_I4REF(&arg));
        break;
      case VT_BSTR | VT_BYREF: {
        BSTR s = *V_BSTRREF(&arg);
        event.text = s == nullptr ? std::wstring() : std::wstring(s, SysStringLen(s));
        break;
      }
      default:
        break;
    }
  }
  events.push_back(event);
  if (onEvent) onEvent(id, params);
  return S_OK;
}

// ---- Control ----------------------------------------------------------------------------

Control::Control() {
  CLSID clsid;
  createResult_ = CLSIDFromProgID(kProgId, &clsid);
  if (FAILED(createResult_)) return;
  createResult_ = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                   reinterpret_cast<void**>(&dispatch_));
}

Control::Control(IUnknown* existing) {
  createResult_ = existing->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
}

Control::~Control() { release(); }

void Control::release() {
  if (dispatch_ != nullptr) {
    dispatch_->Release();
    dispatch_ = nullptr;
  }
}

CallResult Control::invoke(const wchar_t* name, WORD flags, std::vector<Var> args) {
  CallResult result;
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  result.hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result.hr)) return result;

  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(**it);
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  params.cArgs = static_cast<UINT>(reversed.size());
  DISPID putId = DISPID_PROPERTYPUT;
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  EXCEPINFO exception{};
  UINT argError = 0;
  result.hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.value.get(),
                                &exception, &argError);
  if (result.hr == DISP_E_EXCEPTION) {
    result.scode = exception.scode;
    if (exception.bstrDescription != nullptr) result.description = exception.bstrDescription;
    if (exception.bstrSource != nullptr) result.source = exception.bstrSource;
  }
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);
  return result;
}

CallResult Control::call(const wchar_t* name, std::vector<Var> args) {
  return invoke(name, DISPATCH_METHOD, std::move(args));
}

CallResult Control::put(const wchar_t* name, Var value) {
  return invoke(name, DISPATCH_PROPERTYPUT, {std::move(value)});
}

CallResult Control::get(const wchar_t* name) { return invoke(name, DISPATCH_PROPERTYGET, {}); }

IID Control::eventIid() const {
  IID iid = IID_NULL;
  IProvideClassInfo2* info = nullptr;
  if (SUCCEEDED(dispatch_->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)))) {
    info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &iid);
    info->Release();
  }
  return iid;
}

DWORD Control::connect(IDispatch* sink) {
  IConnectionPointContainer* container = nullptr;
  if (FAILED(dispatch_->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container)))) {
    return 0;
  }
  IConnectionPoint* point = nullptr;
  DWORD cookie = 0;
  if (SUCCEEDED(container->FindConnectionPoint(eventIid(), &point))) {
    if (FAILED(point->Advise(sink, &cookie))) cookie = 0;
    point->Release();
  }
  container->Release();
  return cookie;
}

void Control::disconnect(DWORD cookie) {
  IConnectionPointContainer* container = nullptr;
  if (FAILED(dispatch_->QueryInterface(IID_IConnectionPointContainer,
                                       reinterpret_cast<void**>(&container)))) {
    return;
  }
  IConnectionPoint* point = nullptr;
  if (SUCCEEDED(container->FindConnectionPoint(eventIid(), &point))) {
    point->Unadvise(cookie);
    point->Release();
  }
  container->Release();
}

// ---- dialogs ----------------------------------------------------------------------------

namespace {

std::function<void(HWND)> gDialogHandler;
std::vector<std::wstring> gUnexpectedDialogs;
HWND gHandledDialog = nullptr;

// A dialog that its handler meant to close but is still open after this long is closed
// here, and reported, so that a control that ignores its Exit button fails the test
// instead of hanging it.
constexpr UINT kDialogDeadlineMs = 10000;

void CALLBACK dialogDeadline(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  if (gHandledDialog != nullptr && IsWindow(gHandledDialog)) {
    gUnexpectedDialogs.push_back(L"still open: " + windowText(gHandledDialog));
    closeDialog(gHandledDialog);
  }
}

LRESULT CALLBACK dialogWatch(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t className[64] = L"";
    GetClassNameW(window, className, 64);
    if (std::wstring(className) == L"#32770") {
      if (gDialogHandler) {
        gHandledDialog = window;
        SetTimer(nullptr, 0, kDialogDeadlineMs, dialogDeadline);
        gDialogHandler(window);
      } else {
        std::wstring text = windowText(window);
        for (const std::wstring& child : childTexts(window)) text += L" | " + child;
        gUnexpectedDialogs.push_back(text);
        closeDialog(window);
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK collectText(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(windowText(child));
  return TRUE;
}

}  // namespace

std::wstring windowText(HWND window) {
  wchar_t text[512] = L"";
  GetWindowTextW(window, text, 512);
  return text;
}

void watchDialogs() { SetWindowsHookExW(WH_CBT, dialogWatch, nullptr, GetCurrentThreadId()); }

void setDialogHandler(std::function<void(HWND)> handler) { gDialogHandler = std::move(handler); }

std::vector<std::wstring> takeUnexpectedDialogs() {
  std::vector<std::wstring> out;
  out.swap(gUnexpectedDialogs);
  return out;
}

void closeDialog(HWND dialog) {
  // Posted, so that the dialog's own loop handles them once it is running; the second
  // finds the dialog gone when the first closed it.
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

std::vector<std::wstring> childTexts(HWND window) {
  std::vector<std::wstring> texts;
  EnumChildWindows(window, collectText, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

HMODULE loadedEngine() { return GetModuleHandleA(zax::kEngineFileName); }

}  // namespace comtest
