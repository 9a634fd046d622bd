#include "engine/tar/archive_job.h"

#include "common/protocol.h"
#include "engine/platform/platform.h"
#include "engine/tar/destination.h"

namespace untgz {

std::int32_t runArchiveJob(const std::string& archive, const std::string& destination,
                           const std::string& selection, bool listing, JobControl& control,
                           std::string& errorText) {
  std::string outputRoot;
  if (!listing) {
    const std::int32_t refused =
        prepareDestination(destination, outputRoot, errorText, control.hooks);
    if (refused != 0) return refused;
  }
  // Only a file can be an archive; a folder would open and then fail to read.
  if (platform::pathKind(archive) != platform::PathKind::file) return protocol::kResultNotOpened;
  const platform::FileId archiveId = platform::fileId(archive, true);
  // A walk left by an exception leaves the stream to its owner, which closes it.
  const std::unique_ptr<ArchiveStream> stream = openJobArchive(archive);
  if (!stream) return protocol::kResultNotOpened;
  const WalkEnd end = listing
                          ? listMembers(*stream, control)
                          : extractMembers(*stream, outputRoot, archiveId, selection, control);
  // A walk that reached the end of the archive has done the whole file, the blocks that pad
  // a plain archive after its end included.
  if (end == WalkEnd::endOfArchive) control.archivePosition.store(platform::fileSize(archive));
  const std::int32_t result = finishWalk(*stream, end);
  // The archive's own faults come first; the members left out are counted either way.
  if (!listing && result == protocol::kResultOk && control.failures.count() > 0)
    return protocol::kResultMembersNotExtracted;
  return result;
}

}  // namespace untgz
