#include "engine/job.h"

#include "common/protocol.h"
#include "engine/platform/platform.h"
#include "engine/tar/archive_job.h"

namespace untgz {

JobState& jobState() {
  static JobState state;
  return state;
}

std::string JobState::errorText() const {
  std::lock_guard<std::mutex> lock(errorTextLock_);
  return errorText_;
}

void JobState::setErrorText(const std::string& text) {
  std::lock_guard<std::mutex> lock(errorTextLock_);
  errorText_ = text;
}

std::int64_t fileSizeOf(const std::string& path) {
  const std::int64_t size = platform::fileSize(path);
  return size < 0 ? 0 : size;
}

namespace {

void jobThreadProc() {
  JobState& job = jobState();
  job.archivePosition.store(0);
  job.archiveSize.store(fileSizeOf(job.jobArchive));
  job.jobResult.store(protocol::kResultOk);

  JobControl control{job.bytesConsumed, job.archivePosition, job.pauseFlag, job.cancelFlag,
                     job.dirCount, job.fileCount, job.failures};
  std::string destinationError;
  const std::int32_t result =
      runArchiveJob(job.jobArchive, job.jobDestination, job.jobSelection, job.listMode.load() != 0,
                    control, destinationError);
  if (result >= protocol::kResultDestinationBase) job.setErrorText(destinationError);
  job.jobResult.store(result);
  job.jobStatus.store(0, std::memory_order_release);
}

std::int32_t startJob() {
  JobState& job = jobState();
  // Requests made while no job ran must not reach this one. They are cleared here, before
  // the worker exists, so that a pause or cancel sent right after the start is never lost.
  job.pauseFlag.store(0);
  job.cancelFlag.store(0);
  job.jobResult.store(protocol::kResultOk);
  job.failures.clear();
  if (!platform::startDetachedThread(&jobThreadProc)) {
    // Without a worker nothing would ever end the job: end it here.
    job.jobResult.store(protocol::kResultNotOpened);
    job.jobStatus.store(0, std::memory_order_release);
  }
  return 0;
}

}  // namespace

std::int32_t startExtractJob(const std::string& archive, const std::string& destination,
                             const std::string& selection) {
  JobState& job = jobState();
  if (job.jobStatus.load(std::memory_order_acquire) == 1) return -1;
  job.jobStatus.store(1);
  job.jobArchive = archive;
  job.jobDestination = destination;
  job.jobSelection = selection;
  return startJob();
}

std::int32_t startUncompressJob(const std::string& archive, const std::string& destination) {
  JobState& job = jobState();
  if (job.jobStatus.load(std::memory_order_acquire) == 1) return -1;
  job.jobStatus.store(1);
  job.jobArchive = archive;
  job.jobDestination = destination;
  return startJob();
}

std::int32_t getPercentage() {
  const JobState& job = jobState();
  const std::int64_t size = job.archiveSize.load();
  const std::int64_t position = job.archivePosition.load();
  if (size <= 0 || position <= 0) return 0;
  const double percent = static_cast<double>(position) * (100.0 / static_cast<double>(size));
  if (percent >= 100.0) return 100;
  return static_cast<std::int32_t>(percent);
}

}  // namespace untgz
