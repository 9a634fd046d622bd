#include "archive_job.h"

#include "../job.h"
#include "../platform/platform.h"
#include "destination.h"

namespace untgz {

namespace {

// The gzip layer's input buffer: large reads keep inflate busy instead of the system call.
constexpr unsigned gzipInputBuffer = 128 * 1024;

}  // namespace

std::int32_t runArchiveJob(const std::string& archive, const std::string& destination,
                           const std::string& selection, bool listing, JobControl& control,
                           std::string& errorText) {
  std::string outputRoot;
  if (!listing) {
    const std::int32_t refused = prepareDestination(destination, outputRoot, errorText);
    if (refused != 0) return refused;
  }
  // Only a file can be an archive; a folder would open and then fail to read.
  if (platform::pathKind(archive) != platform::PathKind::file) return resultNotOpened;
  const auto path = platform::nativePath(archive);
  if (!path) return resultNotOpened;
  const platform::FileId archiveId = platform::fileId(archive, true);
  gzFile file = gzopen(path->c_str(), "rb");
  if (!file) return resultNotOpened;
  gzbuffer(file, gzipInputBuffer);
  return listing ? listMembers(file, control)
                 : extractMembers(file, outputRoot, archiveId, selection, control);
}

}  // namespace untgz
