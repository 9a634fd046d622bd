// The Windows seams of the control's polling: Timer1 as a 100 ms SetTimer on a hidden
// message-only window of the control's thread, the job's end signal watched by the system's
// thread pool, which posts that window a message when it fires, and message pumping with
// PeekMessage/DispatchMessage for the waiting loop of an extraction.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "control/ui_seams.h"

namespace zax::ui {

class WindowTimer final : public Timer {
 public:
  // The window is created on the calling thread, which is where the ticks arrive.
  // owner (may be null) is kept alive across each tick, so that a host that drops its
  // last reference from an event handler does not pull the control away under the tick.
  WindowTimer(HINSTANCE module, IUnknown* owner);
  ~WindowTimer() override;
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;

  void enable(TimerClient& client) override;
  void disable() override;
  void tickOnSignal(JobEndSignal signal) override;

  // The hidden window (tests and diagnostics).
  HWND window() const { return window_; }

  // Removes the window class; for the module's unload, once no timer is left.
  static void unregisterWindowClass(HINSTANCE module);

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK signalled(void* context, BOOLEAN timedOut);
  void tick();
  // Stops watching the signal (waiting for a callback under way) and closes it.
  void stopWatching();

  HWND window_ = nullptr;
  IUnknown* owner_;
  TimerClient* client_ = nullptr;  // non-null while enabled
  JobEndSignal signal_;
  HANDLE wait_ = nullptr;  // the thread pool's wait on signal_
  // Tells the message of the signal being watched from one a former watch left queued.
  WPARAM watch_ = 0;
};

class WindowMessagePump final : public MessagePump {
 public:
  void pumpPending() override;
  void waitForMessage() override;

 private:
  // A WM_QUIT met while pumping belongs to the host's own loop: it is put back each time
  // the queue has been drained, so the host still sees it once the wait is over.
  bool quitSeen_ = false;
  int quitCode_ = 0;
};

}  // namespace zax::ui
