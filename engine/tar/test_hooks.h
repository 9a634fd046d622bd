// Faults a test can inject into an engine: each hook, when set, answers in place of the
// system (or, for the worker, runs at a fixed point of its thread). An engine owns its
// hooks (Engine::hooks()), so a hook set for one engine never reaches another.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "engine/platform/platform.h"

namespace untgz {

// The points of the worker thread at which the `worker` hook runs.
enum class WorkerMoment {
  beforeJob,  // on the new thread, before the job reads anything
  afterJob,   // after the job's result and "status" 0 are stored, before the thread leaves
};

struct TestHooks {
  // Answers for the probe of a destination folder: true when it takes a new file.
  std::function<bool(const std::string& folder)> probeWritableFolder;
  // Opens the output root of an extraction in place of the system: a test's own folders,
  // which may fail or stand in for what the system does.
  std::function<platform::Failure(const std::string& path, std::unique_ptr<platform::OutputFolder>& root)>
      openOutputRoot;
  // Asked before the worker thread is started: false plays a system that starts none.
  std::function<bool()> startThread;
  // Runs on the worker thread at each WorkerMoment.
  std::function<void(WorkerMoment moment)> worker;
  // Receives the engine's debug lines instead of the system.
  std::function<void(const char* text)> debugOutput;
};

// For callers that have no engine (and so no faults to inject).
inline const TestHooks kNoTestHooks{};

// Installs a hook for the length of a scope and takes it out at its end, so that a test
// that fails half-way leaves no hook behind. `beforeRemoval` runs first when given: a hook
// that a worker thread may be calling must not be taken from under it (Engine::hook).
class ScopedHook {
 public:
  template <typename Signature, typename Hook>
  ScopedHook(std::function<Signature>& slot, Hook&& hook,
             std::function<void()> beforeRemoval = nullptr)
      : remove_([&slot] { slot = nullptr; }), beforeRemoval_(std::move(beforeRemoval)) {
    slot = std::forward<Hook>(hook);
  }
  ~ScopedHook() {
    if (beforeRemoval_) beforeRemoval_();
    remove_();
  }
  ScopedHook(const ScopedHook&) = delete;
  ScopedHook& operator=(const ScopedHook&) = delete;

 private:
  std::function<void()> remove_;
  std::function<void()> beforeRemoval_;
};

}  // namespace untgz
