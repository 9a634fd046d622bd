// An automation client of the ZAXTarGzip control that knows it only as a host does: by its
// ProgID, its member names and its published dispatch ids. Nothing here includes the
// control's own headers.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <vector>

namespace comtest {

constexpr wchar_t kProgId[] = L"ZAXTarGzip200a.ZAXTarGzip";

// Published dispatch ids of the events.
constexpr DISPID kErrorCode = 1;
constexpr DISPID kFinished = 2;
constexpr DISPID kProgress = 3;
constexpr DISPID kTarFileInformation = 4;

// The control module under test, as a Windows path.
std::wstring ocxPath();

// Runs a program of the Wine prefix and waits for it (at most timeoutMs, then it is
// killed and 0xFFFFFFFF returned). Its standard output is appended to output if given.
DWORD runProcess(const std::wstring& commandLine, DWORD timeoutMs, std::string* output = nullptr);

// Processes this thread's messages until done() is true or timeoutMs passed.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// A VARIANT that clears itself.
class Var {
 public:
  Var() { VariantInit(&v_); }
  Var(const wchar_t* text);
  Var(const std::wstring& text);
  Var(long value);
  Var(bool value);
  Var(const Var& other);
  // A by-reference String argument, as VB passes a variable: the callee may change *text.
  static Var byRef(BSTR* text);
  // A variable of a script: a Variant by reference, whatever it holds.
  static Var byRef(VARIANT* variable);
  Var& operator=(const Var& other);
  ~Var() { VariantClear(&v_); }

  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }
  VARTYPE type() const { return V_VT(&v_); }
  std::wstring text() const;  // a BSTR's text ("" otherwise)

 private:
  VARIANT v_;
};

// Outcome of one late-bound call.
struct CallResult {
  HRESULT hr = E_FAIL;
  Var value;
  SCODE scode = 0;            // EXCEPINFO of a DISP_E_EXCEPTION
  std::wstring description;
  std::wstring source;
};

// One event as a sink received it: its id and its arguments in declaration order.
struct Event {
  DISPID id = 0;
  std::vector<VARTYPE> types;
  std::vector<long> numbers;  // every Long argument, in order
  std::wstring text;          // the String argument, if any
};

// Renders an event for readable comparisons: "Progress(0)", "Finished",
// "ErrorCode(36,The file ...)", "TarFileInformation(0,2004,6,1,12,0,0,a.txt,5,2,1)".
std::wstring describe(const Event& event);

// An event sink for the control's event interface. It answers QueryInterface for the
// interface id that the control announces through IProvideClassInfo2.
class EventRecorder : public IDispatch {
 public:
  explicit EventRecorder(const IID& eventIid) : eventIid_(eventIid) {}
  virtual ~EventRecorder() = default;

  // Runs inside each event, after it was recorded, with the arguments as received.
  std::function<void(DISPID, DISPPARAMS*)> onEvent;

  std::vector<Event> events;
  std::vector<std::wstring> log() const;  // describe() of each event
  bool has(DISPID id) const;
  void clear() { events.clear(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // owned by the test
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override;

  long refs() const { return refs_; }

 private:
  IID eventIid_;
  long refs_ = 0;
};

// The control, created by ProgID and driven through IDispatch.
class Control {
 public:
  Control();  // CoCreateInstance from the ProgID; check ok()
  explicit Control(IUnknown* existing);
  ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  bool ok() const { return dispatch_ != nullptr; }
  HRESULT createResult() const { return createResult_; }
  IDispatch* dispatch() const { return dispatch_; }

  // Calls a method by name; args in declaration order.
  CallResult call(const wchar_t* name, std::vector<Var> args = {});
  CallResult put(const wchar_t* name, Var value);
  CallResult get(const wchar_t* name);
  CallResult invoke(const wchar_t* name, WORD flags, std::vector<Var> args);

  // The event interface id, from IProvideClassInfo2.
  IID eventIid() const;
  // Connects a sink through the connection point; returns the cookie (0 on failure).
  DWORD connect(IDispatch* sink);
  void disconnect(DWORD cookie);

  // Releases the control now (the destructor does it otherwise).
  void release();

 private:
  IDispatch* dispatch_ = nullptr;
  HRESULT createResult_ = E_FAIL;
};

// Every dialog box that opens on the test thread (message boxes, the About box, the folder
// dialog) goes to the handler a test set for it; with none set it is closed at once and
// counted as unexpected, so no test can hang on an invisible modal window.
void watchDialogs();  // installs the watch on the calling thread
void setDialogHandler(std::function<void(HWND dialog)> handler);
std::vector<std::wstring> takeUnexpectedDialogs();  // their texts, and forgets them
// Closes a dialog the way its cancel button would, or its OK button when it has no other.
void closeDialog(HWND dialog);
// A window's own text.
std::wstring windowText(HWND window);
// The texts of a window's children, in order.
std::vector<std::wstring> childTexts(HWND window);

// The module handle of the deployed engine in this process, or null when it is not loaded.
HMODULE loadedEngine();

}  // namespace comtest
