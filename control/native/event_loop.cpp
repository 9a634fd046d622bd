#include "control/native/event_loop.h"

#include <utility>

namespace zax {

namespace {

// How often the watching thread looks whether it is to stop; what disabling the timer
// while a job runs may wait.
constexpr unsigned kWatchSliceMs = 20;

}  // namespace

EventLoop::~EventLoop() { stopWatching(); }

void EventLoop::enable(TimerClient& client) {
  client_ = &client;
  due_ = Clock::now() + std::chrono::milliseconds(kTimerIntervalMs);
}

void EventLoop::disable() {
  client_ = nullptr;
  stopWatching();
}

void EventLoop::tickOnSignal(JobEndSignal signal) {
  stopWatching();
  if (client_ == nullptr) return;
  const unsigned watch = ++watch_;
  stopWatch_.store(false);
  watcher_ = std::thread([this, watch, signal = std::move(signal)] {
    while (!stopWatch_.load()) {
      if (!waitForJobEnd(signal, kWatchSliceMs)) continue;
      post([this, watch] {
        if (watch == watch_ && client_ != nullptr) tick();
      });
      return;
    }
  });
}

void EventLoop::stopWatching() {
  ++watch_;  // a tick this watch posted is no longer wanted
  stopWatch_.store(true);
  if (watcher_.joinable()) watcher_.join();
}

bool EventLoop::tickDue() const { return client_ != nullptr && Clock::now() >= due_; }

void EventLoop::tick() {
  // Like a window timer, missed ticks are not made up: the next one is an interval from
  // now. The state is settled before the tick, which may pump again.
  TimerClient* client = client_;
  due_ = Clock::now() + std::chrono::milliseconds(kTimerIntervalMs);
  client->onTimerTick();
}

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
    tick();
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
