#include "engine/tar/archive_job.h"

#include "common/protocol.h"
#include "common/unique_resource.h"
#include "engine/platform/platform.h"
#include "engine/tar/destination.h"

namespace untgz {

namespace {

// The gzip layer's input buffer: large reads keep inflate busy instead of the system call.
constexpr unsigned kGzipInputBuffer = 128 * 1024;

// Closes an archive that a walk left by an exception; a walk that ends hands it to
// finishWalk, which closes it and reads the gzip layer's verdict.
struct ArchiveTraits {
  using Handle = gzFile;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle file) { return gzclose(file) == Z_OK; }
};
using OpenArchive = zax::UniqueResource<ArchiveTraits>;

}  // namespace

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
  OpenArchive file(platform::openGzip(archive));
  if (!file) return protocol::kResultNotOpened;
  gzbuffer(file.get(), kGzipInputBuffer);
  const WalkEnd end = listing
                          ? listMembers(file.get(), control)
                          : extractMembers(file.get(), outputRoot, archiveId, selection, control);
  const std::int32_t result = finishWalk(file.release(), end);
  // The archive's own faults come first; the members left out are counted either way.
  if (!listing && result == protocol::kResultOk && control.failures.count() > 0)
    return protocol::kResultMembersNotExtracted;
  return result;
}

}  // namespace untgz
