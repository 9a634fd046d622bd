#include "engine/tar/archive_job.h"

#include "common/protocol.h"
#include "engine/platform/platform.h"
#include "engine/tar/archive_open.h"
#include "engine/tar/destination.h"

namespace untgz {

namespace {

// A header refused inside compressed data may be damage the decoder has not caught yet: a
// bzip2 block, an xz block, a gzip or lzip member is checked at its end, after its data
// went out. Reading on for a while (past the largest bzip2 block many times over) lets the
// check have its say.
bool damagedFurtherOn(ArchiveStream& stream) {
  constexpr std::size_t kChunk = 64 * 1024;
  constexpr std::int64_t kFarthest = std::int64_t{64} << 20;
  const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kChunk]);
  for (std::int64_t done = 0; done < kFarthest;) {
    const std::ptrdiff_t got = stream.read(buffer.get(), kChunk);
    if (got <= 0) return got < 0;
    done += got;
  }
  return false;
}

}  // namespace

std::int32_t runArchiveJob(const std::string& archive, const std::string& destination,
                           const std::string& selection, bool listing, JobControl& control,
                           std::string& errorText) {
  // The archive is opened first, so that a file of another kind is refused before the
  // destination is made; the destination's verdict still comes before "not opened". Only a
  // file can be an archive: a folder would open and then fail to read. The file is opened
  // once; its size and identity are the open file's.
  platform::ArchiveFile file = platform::openArchiveFile(archive);
  control.archiveSize.store(file.size);
  const platform::FileId archiveId = file.id;
  std::unique_ptr<ArchiveStream> stream;
  if (file.stream) stream = openJobArchive(std::move(file.stream));
  if (stream && stream->refusal().kind == StreamRefusal::Kind::otherKind) {
    errorText = stream->refusal().what;
    return protocol::kResultOtherKind;
  }
  std::string outputRoot;
  if (!listing) {
    const std::int32_t refused =
        prepareDestination(destination, outputRoot, errorText, control.hooks);
    if (refused != 0) return refused;
  }
  if (!stream) return protocol::kResultNotOpened;
  // A walk left by an exception leaves the stream to its owner, which closes it.
  WalkEnd end = listing ? listMembers(*stream, control)
                        : extractMembers(*stream, outputRoot, archiveId, selection, control);
  if (end == WalkEnd::badHeader && stream->compressed() && damagedFurtherOn(*stream))
    end = WalkEnd::readError;
  // A walk that reached the end of the archive has done the whole file, the blocks that pad
  // a plain archive after its end included.
  if (end == WalkEnd::endOfArchive) control.archivePosition.store(file.size);
  const std::int32_t result = finishWalk(*stream, end);
  // A stream refused for its memory stopped as damage does; it is told apart here.
  if (result == protocol::kResultDamaged && stream->refusal().kind == StreamRefusal::Kind::memory) {
    errorText = stream->refusal().what;
    return protocol::kResultMemoryLimit;
  }
  // The archive's own faults come first; the members left out are counted either way.
  if (!listing && result == protocol::kResultOk && control.failures.count() > 0)
    return protocol::kResultMembersNotExtracted;
  return result;
}

}  // namespace untgz
