// What the control needs from its surroundings besides the engine: a 100 ms timer, a way
// to process the thread's pending messages from inside a call, and the user interface
// (message boxes, the About box, the folder dialog). On Windows these are a hidden
// message-only window, the message queue and the dialogs; natively a small event loop,
// standard error and nothing (see control/native/).
#pragma once

#include <cstdint>
#include <string>

#include "host/engine_host.h"

namespace zax {

// Interval of the polling timer, in milliseconds.
constexpr std::uint32_t kTimerIntervalMs = 100;

// Whoever a timer ticks for. The control implements it.
class TimerClient {
 public:
  virtual void onTimerTick() = 0;

 protected:
  ~TimerClient() = default;
};

// The control's polling timer. Ticks arrive on the control's thread, only while that
// thread processes messages (between host calls, or inside MessagePump), never from
// inside another call. enable() and disable() may be called from inside a tick.
class Timer {
 public:
  virtual ~Timer() = default;
  // Starts (or restarts) calling client.onTimerTick() every kTimerIntervalMs.
  virtual void enable(TimerClient& client) = 0;
  // Stops the ticks; no tick runs after this returns. Disabling a disabled timer is fine.
  // A signal being watched is dropped.
  virtual void disable() = 0;
  // While enabled, also ticks as soon as the signal fires (once), so that the tick that
  // sees the job's end comes at once rather than up to an interval later; the ticks of
  // the interval go on as before. A timer that cannot watch drops the signal and its ticks
  // find the end as they come.
  virtual void tickOnSignal(JobEndSignal signal) { signal.reset(); }
};

// Message processing from inside a call, for the waiting loop of an extraction.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // Processes the messages pending for this thread (timer ticks included) and returns
  // when none is left; returns at once when none is pending.
  virtual void pumpPending() = 0;
  // Blocks until a message is pending for this thread. The control calls it only while
  // its timer is enabled, so a tick always ends the wait within one interval.
  virtual void waitForMessage() = 0;
};

// Modal user interface. showMessage (from MessageBoxes) shows a message box with an OK
// button and returns when it is closed.
class UserInterface : public MessageBoxes {
 public:
  // Shows the About box, captioned with the application title, and returns when it has
  // been closed.
  virtual void showAbout(const std::wstring& caption) = 0;
  // Lets the user choose a folder, starting at InitDir; returns its full path, or "" when
  // the user cancelled.
  virtual std::wstring browseForFolder(const std::wstring& Title, const std::wstring& InitDir) = 0;
};

}  // namespace zax
