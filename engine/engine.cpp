#include "engine/engine.h"

#include "common/protocol.h"
#include "engine/boundary.h"

namespace untgz {

Engine::~Engine() {
  // For the library's own engine this runs as the library is unloaded. A host that waited
  // for "status" 0 has left nothing to wait for, and at process exit Windows has ended the
  // other threads before this runs. Only a host that frees the library while "status"
  // answers 1 would have this wait under the loader lock, for a thread whose exit needs
  // that lock; no wait could make that unload safe, as the thread runs the library's code.
  job_.pauseFlag.store(1);
  job_.cancelFlag.store(1);
  worker_.wait();
}

std::int32_t Engine::startExtractJob(const char* archive, const char* destination,
                                     const char* selection) {
  return startJob(archive, destination, selection, true);
}

std::int32_t Engine::startUncompressJob(const char* archive, const char* destination) {
  return startJob(archive, destination, nullptr, false);
}

std::int32_t Engine::startJob(const char* archive, const char* destination, const char* selection,
                              bool takeSelection) {
  if (status() == protocol::kJobRunning) return -1;
  std::int32_t idle = 0;
  if (!job_.jobStatus.compare_exchange_strong(idle, protocol::kJobRunning)) return -1;

  // The job is claimed: from here it must end, whatever fails, or "status" would answer 1
  // for ever.
  const bool started = guarded(false, [&] {
    job_.jobArchive = archive ? archive : "";
    job_.jobDestination = destination ? destination : "";
    if (takeSelection) job_.jobSelection = selection ? selection : "";
    // Requests made while no job ran must not reach this one. They are cleared here,
    // before the worker exists, so that a pause or cancel sent right after the start is
    // never lost.
    job_.pauseFlag.store(0);
    job_.cancelFlag.store(0);
    job_.jobResult.store(protocol::kResultOk);
    job_.failures.clear();
    entries_.forgetCutNames();
    if (hooks_.startThread && !hooks_.startThread()) return false;
    return worker_.start(&Engine::workerEntry, this);
  });
  if (!started) {
    // Without a worker nothing would ever end the job: end it here, as a job that could
    // not run.
    job_.jobResult.store(protocol::kResultNotOpened);
    job_.jobStatus.store(0, std::memory_order_release);
  }
  return 0;
}

namespace {

// How long "status" gives a worker that has stored the job's end to leave the engine. It
// has nothing but its return ahead, so this is microseconds; a host woken by the job's end
// signal then reads 0 at once instead of at its next poll. Bounded, so that a thread held
// up on its way out (the loader lock) never holds up the host for long.
constexpr unsigned kEndingWorkerWaitMs = 20;

}  // namespace

std::int32_t Engine::status() {
  if (job_.jobStatus.load(std::memory_order_acquire) == protocol::kJobRunning)
    return protocol::kJobRunning;
  return worker_.exitedWithin(kEndingWorkerWaitMs) ? 0 : protocol::kJobRunning;
}

std::int32_t Engine::jobEndSignal(std::intptr_t* slot) {
  // A job may have ended before its host asks: its thread is still known until "status"
  // has seen it go, and its signal is then already set.
  if (slot == nullptr) return 0;
  std::intptr_t signal = 0;
  if (!worker_.endSignal(signal)) return 0;
  *slot = signal;
  return 1;
}

void Engine::workerEntry(void* engine) { static_cast<Engine*>(engine)->runWorker(); }

void Engine::runWorker() noexcept {
#ifndef _WIN32
  // The line the Windows build's DllMain writes for every thread.
  debugLine("DLL_THREAD_ATTACH \n");
#endif
  // The worker's boundary: an exception leaving the thread would end the process. The
  // only one the job can raise is std::bad_alloc (a pax record or long name of megabytes
  // where memory is short). It ends the job with 5, the result of a job that could not
  // run, as when no thread could be started; every other result names a fault of the
  // archive or the destination, which may well be sound. The walk's objects close what
  // they opened on the way out: the archive, and a member's file, which is removed and
  // counted as not extracted.
  const std::int32_t result = guarded(protocol::kResultNotOpened, [this] {
    if (hooks_.worker) hooks_.worker(WorkerMoment::beforeJob);
    return runJob(job_, entries_, hooks_);
  });
  job_.jobResult.store(result);
  job_.jobStatus.store(0, std::memory_order_release);
  if (hooks_.worker) hooks_.worker(WorkerMoment::afterJob);
#ifndef _WIN32
  debugLine("DLL_THREAD_DETACH \n");
#endif
}

void Engine::debugLine(const char* text) const {
  if (hooks_.debugOutput) {
    hooks_.debugOutput(text);
  } else {
    platform::debugOutput(text);
  }
}

Engine& processEngine() {
  static Engine engine;
  return engine;
}

}  // namespace untgz
