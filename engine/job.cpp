#include "engine/job.h"

#include "common/protocol.h"
#include "engine/platform/platform.h"
#include "engine/tar/archive_job.h"

namespace untgz {

void JobState::setErrorText(const std::string& text) {
  std::lock_guard<std::mutex> lock(errorTextLock_);
  errorText_ = text;
}

std::int32_t runJob(JobState& job, EntryList& entries, const TestHooks& hooks) {
  job.archivePosition.store(0);
  job.archiveSize.store(0);
  JobControl control{job.bytesConsumed, job.archivePosition, job.archiveSize, job.pauseFlag,
                     job.cancelFlag,    job.dirCount,        job.fileCount,   job.failures,
                     entries,           hooks};
  std::string destinationError;
  const std::int32_t result = runArchiveJob(job.jobArchive, job.jobDestination, job.jobSelection,
                                            job.listMode.load() != 0, control, destinationError);
  if (result >= protocol::kResultDestinationBase || result == protocol::kResultOtherKind ||
      result == protocol::kResultMemoryLimit)
    job.setErrorText(destinationError);
  return result;
}

std::int32_t percentage(const JobState& job) {
  const std::int64_t size = job.archiveSize.load();
  const std::int64_t position = job.archivePosition.load();
  if (size <= 0 || position <= 0) return 0;
  const double percent = static_cast<double>(position) * (100.0 / static_cast<double>(size));
  if (percent >= 100.0) return 100;
  return static_cast<std::int32_t>(percent);
}

}  // namespace untgz
