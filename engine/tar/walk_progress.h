// How far a walk has come, shared with the thread that reports it: the tar-stream bytes
// handed to the walk and the bytes of the archive file read for them.
#pragma once

#include <atomic>
#include <cstdint>

namespace untgz {

struct WalkProgress {
  std::atomic<std::uint64_t>& bytesConsumed;   // tar-stream bytes handed to the walk
  std::atomic<std::int64_t>& archivePosition;  // bytes of the archive file read so far
};

}  // namespace untgz
