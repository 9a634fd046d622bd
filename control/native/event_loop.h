// The native build's stand-in for a window's message queue: one loop, run on the control's
// thread, that delivers the control's 100 ms timer ticks, the tick for a job's end signal
// and tasks posted from other threads. It is the control's Timer and MessagePump, and a
// host runs it (runWhile) the way a Windows host runs its message loop.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "control/ui_seams.h"

namespace zax {

class EventLoop final : public Timer, public MessagePump {
 public:
  EventLoop() = default;
  // Stops watching a signal.
  ~EventLoop() override;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Timer. The first tick is due one interval after enable(). A signal is watched by a
  // thread of its own, which posts the tick to the loop when it fires, as a window
  // receives a message.
  void enable(TimerClient& client) override;
  void disable() override;
  void tickOnSignal(JobEndSignal signal) override;

  // MessagePump. pumpPending runs the posted tasks in order, then the timer's tick if it
  // is due; waitForMessage blocks until a task is posted or the tick is due.
  void pumpPending() override;
  void waitForMessage() override;

  // Queues a task for the loop's thread; the only member that other threads may call.
  void post(std::function<void()> task);

  // Processes messages until keepRunning() answers false; it is asked before each wait.
  void runWhile(const std::function<bool()>& keepRunning);

 private:
  using Clock = std::chrono::steady_clock;

  bool tickDue() const;
  void tick();
  // Ends the watch of the signal, waiting for its thread.
  void stopWatching();

  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
  TimerClient* client_ = nullptr;
  Clock::time_point due_;

  std::thread watcher_;
  std::atomic<bool> stopWatch_{false};
  unsigned watch_ = 0;  // tells the tick of the current watch from one posted before
};

}  // namespace zax
