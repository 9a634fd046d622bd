// The control on a form: hosted by Wine's ATL container (a window of class AtlAxWin with
// the ProgID as its text), which creates it, activates it in place, resizes it and
// destroys it, as a form designer or a running form does.
#include <windows.h>
#include <ocidl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/control/com/com_fixture.h"

namespace comtest {
namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

constexpr wchar_t kFormClass[] = L"ZaxTestForm";

// 550 twips on this screen.
SIZE fixedSizePixels() {
  HDC screen = GetDC(nullptr);
  const SIZE size{MulDiv(550, GetDeviceCaps(screen, LOGPIXELSX), 1440),
                  MulDiv(550, GetDeviceCaps(screen, LOGPIXELSY), 1440)};
  ReleaseDC(nullptr, screen);
  return size;
}

SIZE clientSize(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

void pumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class ContainerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(loadedEngine(), nullptr) << "an earlier test left the engine loaded";
    atl_ = LoadLibraryW(L"atl.dll");
    ASSERT_NE(atl_, nullptr);
    auto init = reinterpret_cast<AtlAxWinInitFn>(
        reinterpret_cast<void*>(GetProcAddress(atl_, "AtlAxWinInit")));
    getControl_ = reinterpret_cast<AtlAxGetControlFn>(
        reinterpret_cast<void*>(GetProcAddress(atl_, "AtlAxGetControl")));
    ASSERT_TRUE(init != nullptr && getControl_ != nullptr);
    // Registers the container's window class; once per process is enough.
    static const bool initialised = init();
    ASSERT_TRUE(initialised);

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kFormClass;
    RegisterClassW(&wc);
    form_ = CreateWindowExW(0, kFormClass, L"form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                            nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(form_, nullptr);
  }

  void TearDown() override {
    if (site_ != nullptr) DestroyWindow(site_);
    if (form_ != nullptr) DestroyWindow(form_);
    pumpPending();
    EXPECT_THAT(takeUnexpectedDialogs(), ::testing::IsEmpty());
  }

  // Places the control on the form at 200 x 100 pixels; returns its IUnknown.
  IUnknown* placeControl() {
    site_ = CreateWindowExW(0, L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, 10, 10, 200, 100, form_,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    if (site_ == nullptr) return nullptr;
    pumpPending();
    IUnknown* control = nullptr;
    getControl_(site_, &control);
    return control;
  }

  // Takes the control off the form.
  void removeControl() {
    DestroyWindow(site_);
    site_ = nullptr;
    pumpPending();
  }

  HMODULE atl_ = nullptr;
  AtlAxGetControlFn getControl_ = nullptr;
  HWND form_ = nullptr;
  HWND site_ = nullptr;
};

TEST_F(ContainerTest, ActivatedInPlaceItKeeps550By550TwipsAndUnloadsTheIdleEngine) {
  IUnknown* unknown = placeControl();
  ASSERT_NE(unknown, nullptr) << "the container did not create the control";

  IOleInPlaceObject* inPlace = nullptr;
  ASSERT_EQ(unknown->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
  HWND window = nullptr;
  ASSERT_EQ(inPlace->GetWindow(&window), S_OK) << "not activated in place";
  EXPECT_TRUE(IsChild(site_, window));
  const SIZE fixed = fixedSizePixels();
  EXPECT_EQ(clientSize(window).cx, fixed.cx);
  EXPECT_EQ(clientSize(window).cy, fixed.cy);

  // The form resizes its site, and the container passes new rectangles on.
  MoveWindow(site_, 10, 10, 300, 250, TRUE);
  pumpPending();
  const RECT asked{20, 30, 320, 280};
  EXPECT_EQ(inPlace->SetObjectRects(&asked, &asked), S_OK);
  EXPECT_EQ(clientSize(window).cx, fixed.cx);
  EXPECT_EQ(clientSize(window).cy, fixed.cy);
  POINT origin{0, 0};
  MapWindowPoints(window, site_, &origin, 1);
  EXPECT_EQ(origin.x, 20);
  EXPECT_EQ(origin.y, 30);
  inPlace->Release();

  // Using the control loads the engine; taking an idle control away unloads it.
  {
    Control control(unknown);
    ASSERT_TRUE(control.ok());
    EXPECT_EQ(control.call(L"GetCPUVendor").hr, S_OK);
  }
  EXPECT_NE(loadedEngine(), nullptr);
  unknown->Release();
  removeControl();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(loadedEngine(), nullptr);
}

TEST_F(ContainerTest, DestroyedDuringAnExtractionItLeavesTheEngineLoaded) {
  zaxtest::TempFolder folder;
  const std::string large = folder.nativeChild("large.tar.gz");
  writeLargeArchive(large, 64LL << 20);
  zaxtest::TarBuilder tar;
  tar.file("small.txt", "small").end();
  const std::string small = folder.nativeChild("small.tar");
  zaxtest::writeFile(small, tar.bytes());

  IUnknown* unknown = placeControl();
  ASSERT_NE(unknown, nullptr);
  {
    Control control(unknown);
    ASSERT_EQ(control.call(L"ZAXUncompress", {widen(large), widen(folder.nativeChild("out")), L"nothing.matches"}).hr, S_OK);
    // Paused, the job keeps running for as long as the test needs.
    ASSERT_EQ(control.call(L"PauseExecution").hr, S_OK);
  }
  unknown->Release();
  removeControl();
  EXPECT_NE(loadedEngine(), nullptr) << "the engine went away under a running job";

  // Another control ends the job: it loads the same engine and cancels.
  Control other;
  ASSERT_TRUE(other.ok());
  ASSERT_EQ(other.call(L"GetCPUVendor").hr, S_OK);
  ASSERT_EQ(other.call(L"CancelExecution").hr, S_OK);
  // A listing is refused with 31 while the job runs and ends with 0 once it is over.
  const bool ended = pumpUntil(
      [&] {
        other.call(L"ZAXListTarFile", {widen(small)});
        return V_I4(&*other.get(L"GetLastError").value) == 0;
      },
      30000);
  ASSERT_TRUE(ended) << "the cancelled job did not end";
  other.release();
  // What the destroyed control loaded it never released; give it back so that the
  // process ends as it began.
  HMODULE engine = loadedEngine();
  ASSERT_NE(engine, nullptr);
  FreeLibrary(engine);
  EXPECT_EQ(loadedEngine(), nullptr);
}

// A container written out call by call, for what Wine's ATL container never does: UI
// activation, with the frame and document windows told which object is active, and the
// steps back. It records what the control calls and counts its references.
class ScriptedContainer final : public IOleClientSite, public IOleInPlaceSite {
 public:
  // The container's frame or document window; both record under their own name.
  class Window final : public IOleInPlaceFrame {
   public:
    Window(ScriptedContainer& container, const char* name) : container_(container), name_(name) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleWindow) ||
          IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame)) {
        *object = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
      }
      *object = nullptr;
      return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
      *window = container_.parent;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override {
      return INPLACE_E_NOTOOLSPACE;
    }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
      const char* who = active == nullptr                    ? "none"
                        : active == container_.activeObject ? "the control"
                                                             : "another object";
      container_.log.push_back(name_ + ".SetActiveObject(" + who + ")");
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    long refs = 1;  // the test's own

   private:
    ScriptedContainer& container_;
    std::string name_;
  };

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
      *object = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite)) {
      *object = static_cast<IOleInPlaceSite*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
    *moniker = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    log.push_back("GetWindow");
    *window = parent;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override {
    log.push_back("CanInPlaceActivate");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
    log.push_back("OnInPlaceActivate");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override {
    log.push_back("OnUIActivate");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frameOut,
                                             IOleInPlaceUIWindow** documentOut, LPRECT position,
                                             LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
    log.push_back("GetWindowContext");
    EXPECT_EQ(info->cb, sizeof(OLEINPLACEFRAMEINFO));
    frame.AddRef();
    *frameOut = &frame;
    document.AddRef();
    *documentOut = &document;
    *position = place;
    *clip = place;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override {
    log.push_back(std::string("OnUIDeactivate(") + (undoable ? "undoable" : "not undoable") + ")");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    log.push_back("OnInPlaceDeactivate");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT rect) override {
    log.push_back("OnPosRectChange(" + std::to_string(rect->left) + "," + std::to_string(rect->top) +
                  "," + std::to_string(rect->right - rect->left) + "x" +
                  std::to_string(rect->bottom - rect->top) + ")");
    return S_OK;
  }

  std::vector<std::string> takeLog() { return std::exchange(log, {}); }

  HWND parent = nullptr;
  RECT place{10, 20, 210, 120};  // 200 x 100 pixels, not the control's size
  IOleInPlaceActiveObject* activeObject = nullptr;
  Window frame{*this, "frame"};
  Window document{*this, "document"};
  std::vector<std::string> log;
  long refs = 1;  // the test's own
};

TEST(ContainerSiteTest, UIActivationIsAnnouncedAndTakenBackAndEveryReferenceReturns) {
  using ::testing::ElementsAre;
  ScriptedContainer container;
  container.parent = CreateWindowExW(0, L"STATIC", L"form", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                     nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(container.parent, nullptr);
  const SIZE fixed = fixedSizePixels();
  const std::string fixedPlace = "OnPosRectChange(10,20," + std::to_string(fixed.cx) + "x" +
                                 std::to_string(fixed.cy) + ")";
  {
    Control control;
    ASSERT_TRUE(control.ok());
    IOleObject* object = nullptr;
    IOleInPlaceObject* inPlace = nullptr;
    ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)), S_OK);
    ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)), S_OK);
    ASSERT_EQ(control.dispatch()->QueryInterface(IID_IOleInPlaceActiveObject,
                                                 reinterpret_cast<void**>(&container.activeObject)),
              S_OK);
    container.activeObject->Release();  // only compared, never called

    ASSERT_EQ(object->SetClientSite(&container), S_OK);
    ASSERT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &container, 0, container.parent,
                             &container.place),
              S_OK);
    EXPECT_THAT(container.takeLog(),
                ElementsAre("CanInPlaceActivate", "OnInPlaceActivate", "GetWindow",
                            "GetWindowContext", fixedPlace, "OnUIActivate", "GetWindowContext",
                            "frame.SetActiveObject(the control)",
                            "document.SetActiveObject(the control)"));
    HWND window = nullptr;
    ASSERT_EQ(inPlace->GetWindow(&window), S_OK);
    EXPECT_TRUE(IsChild(container.parent, window));
    // Activating what is active does nothing more.
    EXPECT_EQ(object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, &container, 0, container.parent,
                             &container.place),
              S_OK);
    EXPECT_THAT(container.takeLog(), ::testing::IsEmpty());

    EXPECT_EQ(inPlace->UIDeactivate(), S_OK);
    EXPECT_THAT(container.takeLog(),
                ElementsAre("GetWindowContext", "frame.SetActiveObject(none)",
                            "document.SetActiveObject(none)", "OnUIDeactivate(not undoable)"));
    EXPECT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_THAT(container.takeLog(), ElementsAre("OnInPlaceDeactivate"));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(inPlace->GetWindow(&window), E_FAIL);

    // The frame and document windows were only borrowed; the site is held until it is
    // taken back.
    EXPECT_EQ(container.frame.refs, 1);
    EXPECT_EQ(container.document.refs, 1);
    EXPECT_GT(container.refs, 1);
    EXPECT_EQ(object->SetClientSite(nullptr), S_OK);
    EXPECT_EQ(container.refs, 1);
    inPlace->Release();
    object->Release();
  }
  EXPECT_EQ(container.refs, 1);
  DestroyWindow(container.parent);
}

}  // namespace
}  // namespace comtest
