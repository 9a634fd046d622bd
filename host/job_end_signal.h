// The waitable with which the engine tells the end of a job ("getjobend"): a handle to the
// job's thread on Windows, a descriptor natively. Whoever holds one owns it; the control
// waits on it beside its messages instead of finding the end at its next poll.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include "common/unique_handle.h"
#else
#include <poll.h>

#include "common/unique_resource.h"
#endif

namespace zax {

#ifdef _WIN32
using JobEndSignal = UniqueKernelHandle;

inline JobEndSignal jobEndSignalFrom(std::intptr_t value) {
  return JobEndSignal(reinterpret_cast<HANDLE>(value));
}

// True once the job has ended; waits up to `milliseconds` for it.
inline bool waitForJobEnd(const JobEndSignal& signal, unsigned milliseconds) {
  return ::WaitForSingleObject(signal.get(), milliseconds) == WAIT_OBJECT_0;
}
#else
using JobEndSignal = UniqueDescriptor;

inline JobEndSignal jobEndSignalFrom(std::intptr_t value) {
  return JobEndSignal(static_cast<int>(value));
}

inline bool waitForJobEnd(const JobEndSignal& signal, unsigned milliseconds) {
  struct pollfd watched = {signal.get(), POLLIN, 0};
  return ::poll(&watched, 1, static_cast<int>(milliseconds)) > 0;
}
#endif

}  // namespace zax
