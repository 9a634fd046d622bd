#include "control/native/event_loop.h"

#include <utility>

namespace zax {

void EventLoop::enable(TimerClient& client) {
  client_ = &client;
  due_ = Clock::now() + std::chrono::milliseconds(kTimerIntervalMs);
}

void EventLoop::disable() { client_ = nullptr; }

bool EventLoop::tickDue() const { return client_ != nullptr && Clock::now() >= due_; }

void EventLoop::pumpPending() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!tasks_.empty()) {
        task = std::move(tasks_.front());
        tasks_.pop_front();
      }
    }
    if (task) {
      task();
      continue;
    }
    if (!tickDue()) return;
    // Like a window timer, missed ticks are not made up: the next one is an interval
    // from now. The state is settled before the tick, which may pump again.
    TimerClient* client = client_;
    due_ = Clock::now() + std::chrono::milliseconds(kTimerIntervalMs);
    client->onTimerTick();
  }
}

void EventLoop::waitForMessage() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!tasks_.empty() || tickDue()) return;
  if (client_ == nullptr) {
    posted_.wait(lock, [this] { return !tasks_.empty(); });
  } else {
    posted_.wait_until(lock, due_, [this] { return !tasks_.empty(); });
  }
}

void EventLoop::post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  posted_.notify_one();
}

void EventLoop::runWhile(const std::function<bool()>& keepRunning) {
  for (;;) {
    pumpPending();
    if (!keepRunning()) return;
    waitForMessage();
  }
}

}  // namespace zax
