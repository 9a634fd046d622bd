// The control on a form: hosted by Wine's ATL container (a window of class AtlAxWin with
// the ProgID as its text), which creates it, activates it in place, resizes it and
// destroys it, as a form designer or a running form does.
#include <windows.h>
#include <ocidl.h>

#include <gtest/gtest.h>

#include "com_fixture.h"

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

}  // namespace
}  // namespace comtest
