#include "engine/tar/archive_job.h"

#include "common/protocol.h"
#include "engine/platform/platform.h"
#include "engine/tar/destination.h"

namespace untgz {

namespace {

// The gzip layer's input buffer: large reads keep inflate busy instead of the system call.
constexpr unsigned kGzipInputBuffer = 128 * 1024;

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
  if (platform::pathKind(archive) != platform::PathKind::file) return protocol::kResultNotOpened;
  const auto path = platform::nativePath(archive);
  if (!path) return protocol::kResultNotOpened;
  const platform::FileId archiveId = platform::fileId(archive, true);
  gzFile file = gzopen(path->c_str(), "rb");
  if (!file) return protocol::kResultNotOpened;
  gzbuffer(file, kGzipInputBuffer);
  return listing ? listMembers(file, control)
                 : extractMembers(file, outputRoot, archiveId, selection, control);
}

}  // namespace untgz
