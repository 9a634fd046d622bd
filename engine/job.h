// The job that an engine starts and its worker thread runs: the state the host thread and
// the worker share, what the worker does with it, and the percentage.
//
// Values that cross threads are atomics. The worker stores everything a finished job
// leaves behind (result, counters, entry list, error text) before it stores jobStatus 0
// with release order; the host loads jobStatus with acquire order and reads the rest only
// after it has seen 0.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "engine/tar/failure_log.h"

namespace untgz {

struct JobState {
  std::atomic<std::int32_t> jobStatus{0};
  std::atomic<std::int32_t> jobResult{0};
  std::atomic<std::int32_t> pauseFlag{0};
  std::atomic<std::int32_t> cancelFlag{0};
  std::atomic<std::int32_t> listMode{0};
  // Nonzero: text operands and text results in UTF-8, else in the ANSI code page.
  std::atomic<std::int32_t> dirCount{0};
  std::atomic<std::int32_t> fileCount{0};
  std::atomic<std::int32_t> finishedValue{0};
  std::atomic<std::int32_t> compressionLevel{6};
  // Size of the archive file and how far into the file the job has read; the percentage is
  // one over the other, so a compressed archive runs from 0 to 100 like a plain one.
  std::atomic<std::int64_t> archiveSize{0};
  std::atomic<std::int64_t> archivePosition{0};
  // Bytes of the tar stream (after decompression) handed to the walk so far.
  std::atomic<std::uint64_t> bytesConsumed{0};

  // Written by the host thread before the worker starts, read only by the worker.
  std::string jobArchive;
  std::string jobDestination;
  std::string jobSelection;

  // The members the current or last extraction did not extract.
  FailureLog failures;

  // Message of the last destination failure; never cleared. Read through read(text)
  // without a copy.
  template <typename Read>
  auto readErrorText(Read read) const {
    std::lock_guard<std::mutex> lock(errorTextLock_);
    return read(errorText_);
  }
  void setErrorText(const std::string& text);

 private:
  mutable std::mutex errorTextLock_;
  std::string errorText_;
};

class EntryList;
struct TestHooks;

// The job the state describes, from the destination check to the end of the walk, on the
// worker thread. Answers the job's result; the error text of a refused destination is
// stored in the state. Throws what the walk throws (std::bad_alloc).
std::int32_t runJob(JobState& job, EntryList& entries, const TestHooks& hooks);

// 0 to 100: how far the current or last job has read its archive file.
std::int32_t percentage(const JobState& job);

// Clamps a 64-bit count to what a 32-bit protocol result can carry.
inline std::int32_t saturate32(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

}  // namespace untgz
