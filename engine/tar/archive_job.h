// What a job does with its archive: check the destination (extraction), open the archive
// stream (inflated where it is gzip data) and run the extraction or the listing walk over it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "engine/tar/entry_list.h"
#include "engine/tar/failure_log.h"
#include "engine/platform/platform.h"
#include "engine/tar/tar_reader.h"
#include "engine/tar/test_hooks.h"

namespace untgz {

// The job values a walk reads and writes.
struct JobControl {
  std::atomic<std::uint64_t>& bytesConsumed;
  std::atomic<std::int64_t>& archivePosition;
  std::atomic<std::int64_t>& archiveSize;  // set once the archive is open
  const std::atomic<std::int32_t>& pauseFlag;
  const std::atomic<std::int32_t>& cancelFlag;
  std::atomic<std::int32_t>& dirCount;
  std::atomic<std::int32_t>& fileCount;
  FailureLog& failures;
  EntryList& entries;
  const TestHooks& hooks;
};

// Returns the job's result code. When the destination is refused (40 + path code), the
// file is of another kind (10) or needs more memory than allowed (11), errorText receives
// the message (for 10 and 11 what the file holds, or what it needs against the limit). Whatever the walk throws (std::bad_alloc) passes
// through, with the archive closed.
std::int32_t runArchiveJob(const std::string& archive, const std::string& destination,
                           const std::string& selection, bool listing, JobControl& control,
                           std::string& errorText);

// The two walks over an open archive; the stream is closed by the caller.
WalkEnd listMembers(ArchiveStream& stream, JobControl& control);
// `archive` names the file being read, which the extraction never replaces.
WalkEnd extractMembers(ArchiveStream& stream, const std::string& outputRoot, platform::FileId archive,
                       const std::string& selection, JobControl& control);

}  // namespace untgz
