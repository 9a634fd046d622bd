#include "control/ui/window_timer.h"

#include <utility>

namespace zax::ui {
namespace {

constexpr char kTimerWindowClass[] = "ZAXTarGzipTimerWindow";
constexpr UINT_PTR kTimerId = 1;
// Posted by the thread pool when the job's end signal fires; wParam is the watch.
constexpr UINT kSignalledMessage = WM_APP + 1;

ATOM registerWindowClass(HINSTANCE module, WNDPROC proc) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = proc;
  wc.hInstance = module;
  wc.lpszClassName = kTimerWindowClass;
  const ATOM atom = RegisterClassExA(&wc);
  if (atom == 0 && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return 1;
  return atom;
}

}  // namespace

WindowTimer::WindowTimer(HINSTANCE module, IUnknown* owner) : owner_(owner) {
  if (registerWindowClass(module, &WindowTimer::windowProc) == 0) return;
  window_ = CreateWindowExA(0, kTimerWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            module, this);
}

WindowTimer::~WindowTimer() {
  stopWatching();
  if (window_ != nullptr) {
    KillTimer(window_, kTimerId);
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void WindowTimer::enable(TimerClient& client) {
  client_ = &client;
  if (window_ != nullptr) SetTimer(window_, kTimerId, kTimerIntervalMs, nullptr);
}

void WindowTimer::disable() {
  client_ = nullptr;
  if (window_ != nullptr) KillTimer(window_, kTimerId);
  stopWatching();
}

void WindowTimer::tickOnSignal(JobEndSignal signal) {
  stopWatching();
  if (client_ == nullptr || window_ == nullptr) return;
  signal_ = std::move(signal);
  ++watch_;
  // Without the pool's wait the interval's ticks still find the end.
  if (!RegisterWaitForSingleObject(&wait_, signal_.get(), &WindowTimer::signalled, this, INFINITE,
                                   WT_EXECUTEONLYONCE)) {
    wait_ = nullptr;
    signal_.reset();
  }
}

// On a thread of the pool. The members it reads stay as they are until stopWatching has
// waited for this callback to return.
void CALLBACK WindowTimer::signalled(void* context, BOOLEAN) {
  auto* self = static_cast<WindowTimer*>(context);
  PostMessageA(self->window_, kSignalledMessage, self->watch_, 0);
}

void WindowTimer::stopWatching() {
  if (wait_ != nullptr) {
    UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
    wait_ = nullptr;
  }
  signal_.reset();
}

void WindowTimer::unregisterWindowClass(HINSTANCE module) {
  UnregisterClassA(kTimerWindowClass, module);
}

void WindowTimer::tick() {
  // A WM_TIMER may still be in the queue after KillTimer; it must not reach the control.
  if (client_ == nullptr) return;
  IUnknown* owner = owner_;
  if (owner != nullptr) owner->AddRef();
  try {
    client_->onTimerTick();
  } catch (...) {
    // Nothing may leave a window procedure: the exception would unwind through the
    // system's message dispatch. The control logic reports its own failures; a timer has
    // no error path of its own to report one that escaped it, and a tick that failed
    // would fail again every interval, so the ticks stop here.
    disable();
  }
  // The last Release may destroy this timer (and its window): nothing of it is used after.
  if (owner != nullptr) owner->Release();
}

LRESULT CALLBACK WindowTimer::windowProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == WM_TIMER && wParam == kTimerId) {
    auto* self = reinterpret_cast<WindowTimer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr) self->tick();
    return 0;
  } else if (message == kSignalledMessage) {
    auto* self = reinterpret_cast<WindowTimer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && wParam == self->watch_ && self->wait_ != nullptr) self->tick();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void WindowMessagePump::pumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      quitSeen_ = true;
      quitCode_ = static_cast<int>(msg.wParam);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (quitSeen_) {
    quitSeen_ = false;
    PostQuitMessage(quitCode_);
  }
}

void WindowMessagePump::waitForMessage() {
  MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace zax::ui
