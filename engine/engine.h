// The engine: everything a loaded engine library keeps between its host's calls. The job
// and the thread that runs it, the listing's entries, the processor texts and the faults
// tests inject all belong to one object. interface1 talks to the library's own instance
// (processEngine()); a test makes an Engine of its own, so that no test sees what another
// left behind and tests pass in any order.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "engine/cpu_info.h"
#include "engine/tar/entry_list.h"
#include "engine/job.h"
#include "engine/platform/platform.h"
#include "engine/tar/test_hooks.h"

namespace untgz {

class Engine {
 public:
  Engine() = default;
  // Asks a job that still runs to stop and waits for its worker, which uses this object to
  // its end. (An extraction stops at its next block; a listing runs to its end.)
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  JobState& job() { return job_; }
  EntryList& entries() { return entries_; }
  CpuInfo& cpu() { return cpu_; }
  TestHooks& hooks() { return hooks_; }

  // Behind "zaxuntar" and "uncompress": -1 while a job runs (as long as "status" answers
  // 1), else 0. A null text is an empty one. "uncompress" keeps the selection of the last
  // "zaxuntar". A job that cannot be started (no thread, no memory) ends at once with
  // result 5. The job's outcome is read afterwards with "getintret".
  std::int32_t startExtractJob(const char* archive, const char* destination, const char* selection);
  std::int32_t startUncompressJob(const char* archive, const char* destination);

  // Behind "status": 1 from the start of a job until its worker thread has exited, then 0.
  //
  // This is what makes it safe to unload the engine. A host frees the library once
  // "status" answers 0, but the worker stores the job's end (jobStatus 0) from engine code
  // and then still has engine instructions ahead of it: the rest of its start routine, and
  // on Windows this library's DLL_THREAD_DETACH, which the exiting thread runs. Freed
  // before those, the library would be pulled from under the thread. So "status" looks
  // past jobStatus at the thread itself, without blocking (platform::WorkerThread::exited),
  // and answers 0 only once the system reports the thread gone: its handle signalled, or
  // pthread_tryjoin_np done. A host needs no command of its own: it polls "status" until
  // 0, as it does to read a job's result, and never frees the library while "status"
  // answers 1.
  std::int32_t status();

  // Behind "getjobend": writes to *slot a waitable signalled when the last job's thread has
  // ended (platform::WorkerThread::endSignal); 1 when written, 0 when there is no such
  // thread (none started, or "status" has already seen it go).
  std::int32_t jobEndSignal(std::intptr_t* slot);

  // Blocks until the worker of the last job has exited (at once when there is none).
  void waitForWorker() { worker_.wait(); }

  // Installs a test hook until the returned object goes. Before taking the hook out, that
  // object waits for the worker, which may be calling it.
  template <typename Signature, typename Hook>
  ScopedHook hook(std::function<Signature> TestHooks::*slot, Hook&& hook) {
    return ScopedHook(hooks_.*slot, std::forward<Hook>(hook), [this] { waitForWorker(); });
  }

 private:
  std::int32_t startJob(const char* archive, const char* destination, const char* selection,
                        bool takeSelection);
  static void workerEntry(void* engine);
  void runWorker() noexcept;
  void debugLine(const char* text) const;

  JobState job_;
  EntryList entries_;
  CpuInfo cpu_;
  TestHooks hooks_;
  platform::WorkerThread worker_;
};

// The engine behind the library's entry: one per loaded library, made at its first command.
Engine& processEngine();

}  // namespace untgz
