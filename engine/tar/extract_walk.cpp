// The extraction walk: writes the selected regular files under the output root with their
// permission bits and modification times, makes the folders of directory entries (given
// their modes and times once their members are written) and the links whose targets stay
// inside the root, honours the pause and cancel requests before every block, and counts
// every member it does not extract, devices and FIFOs among them.
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "engine/platform/platform.h"
#include "engine/tar/archive_job.h"
#include "engine/tar/output_path.h"
#include "engine/tar/output_tree.h"
#include "engine/tar/selection.h"
#include "engine/tar/tar_reader.h"

namespace untgz {

namespace {

constexpr unsigned kPauseSleepMilliseconds = 50;
// Output goes through a large stream buffer: one system call per 256 KiB, not per block.
constexpr std::size_t kOutputBufferSize = 256 * 1024;

class ExtractVisitor : public WalkVisitor {
 public:
  ExtractVisitor(const std::string& outputRoot, std::unique_ptr<platform::OutputFolder> root,
                 platform::FileId archive, const std::string& selection, JobControl& control)
      : tree_(outputRoot, std::move(root), archive),
        selection_(selection),
        control_(control),
        buffer_(kOutputBufferSize) {}

  // Every member's file is closed before the walk goes on, so a file still open here was
  // cut off by an exception: it is removed and counted, as a file that could not be
  // written is.
  ~ExtractVisitor() override {
    if (output_) abandonOutput(MemberFailure::notWritten);
  }

  bool beforeBlock() override {
    if (control_.pauseFlag.load(std::memory_order_relaxed) != 0)
      platform::sleepMilliseconds(kPauseSleepMilliseconds);
    // A full disk fails the member at hand only: a later, smaller one may still fit.
    stopped_ = control_.cancelFlag.load(std::memory_order_relaxed) != 0;
    return !stopped_;
  }

  void onDirectory(const Member& member) override {
    // Folders are made whatever the selection says.
    std::string relative;
    const MemberPath verdict = memberPath(member.name, relative, nameRules_);
    // "./" and "/" name the output root itself, which is there already.
    if (verdict == MemberPath::empty && !member.name.empty()) return;
    if (!placeable(member, verdict)) return;
    tree_.settleFoldersOutside(relative);
    if (auto failure = tree_.makeFolder(relative)) return fail(member.name, *failure);
    tree_.settleFolderLater(relative, member.mode, member.mtime, member.mtimeNanoseconds);
  }

  void onLink(const Member& member) override {
    std::string relative;
    if (!selectedAndPlaceable(member, relative)) return;
    MemberFailure why = MemberFailure::linkNotMade;
    std::optional<ReplacedMember> replaced;
    bool made = false;
    if (member.kind == Member::Kind::hardLink) {
      // The target is a member's name, read as member names are.
      std::string target;
      if (memberPath(member.linkName, target, nameRules_) != MemberPath::ok) return fail(member.name, MemberFailure::linkOutside);
      made = tree_.makeHardLink(relative, member.name, target, member.mtime, member.mtimeNanoseconds, why, replaced);
    } else {
      std::string leadsTo, text;
      if (!symbolicLinkTarget(relative, member.linkName, nameRules_, leadsTo, text))
        return fail(member.name, MemberFailure::linkOutside);
      made = tree_.makeSymbolicLink(relative, member.name, text, leadsTo, member.mtime, member.mtimeNanoseconds,
                                    why, replaced);
    }
    if (replaced) fail(replaced->name, MemberFailure::replacedByLater, member.name);
    if (!made) fail(member.name, why);
  }

  // Devices and FIFOs are never made: they are counted, naming what they are.
  void onSpecial(const Member& member) override {
    std::string relative;
    if (!selectedAndPlaceable(member, relative)) return;
    switch (member.typeflag) {
      case '3': return fail(member.name, MemberFailure::specialKind, "a character device");
      case '4': return fail(member.name, MemberFailure::specialKind, "a block device");
      case '6': return fail(member.name, MemberFailure::specialKind, "a FIFO");
      default: return fail(member.name, MemberFailure::specialKind, std::string("an entry of type '") + member.typeflag + "'");
    }
  }

  // Every folder waiting for its mode and time gets them.
  void finish() { tree_.settleAllFolders(); }

  void onFileBegin(const Member& member) override {
    std::string relative;
    if (!selectedAndPlaceable(member, relative)) return;
    // Taken before the file exists: from its creation to its close nothing may throw.
    outputName_ = member.name;
    mtime_ = member.mtime;
    nanoseconds_ = member.mtimeNanoseconds;
    size_ = member.size;
    endsInHole_ = false;
    MemberFailure why = MemberFailure::fileNotCreated;
    std::optional<ReplacedMember> replaced;
    if (!tree_.createFile(relative, member.name, member.mode, output_, why, replaced))
      return fail(member.name, why);
    if (replaced) fail(replaced->name, MemberFailure::replacedByLater, member.name);
    std::setvbuf(output_.file.stream.get(), buffer_.data(), _IOFBF, buffer_.size());
    // An empty member is an empty file, closed at once, with the member's time like any
    // other: an empty file's time is as much part of the archive as its name.
    if (member.size == 0) onFileEnd(true);
  }

  void onFileData(const unsigned char* data, std::size_t length) override {
    if (!output_) return;
    if (std::fwrite(data, 1, length, output_.file.stream.get()) != length) return abandonAfterStreamError();
    endsInHole_ = false;
  }

  // A hole is passed over, not written: here it stays a hole of the file system, and on
  // Windows the system fills it with zeros once something is written after it or the size
  // is set past it.
  void onFileHole(std::int64_t length) override {
    if (!output_) return;
    if (!platform::skipInStream(output_.file.stream.get(), length)) return abandonAfterStreamError();
    endsInHole_ = true;
  }

  void onFileEnd(bool complete) override {
    if (!output_) return;
    std::FILE* stream = output_.file.stream.get();
    // A file that ends in a hole takes its size from the member: nothing is written there.
    if (complete && endsInHole_ && !platform::setStreamSize(stream, size_))
      return abandonAfterStreamError();
    // A file cut short by a cancel or by the end of the input stays as written, untimed.
    if (complete && !platform::setStreamFileTime(stream, mtime_, nanoseconds_) && std::ferror(stream))
      return abandonAfterStreamError();
    // A failed close means the last buffered bytes did not reach the disk: the file is not
    // the member, and it is removed.
    const platform::Failure failure = tree_.closeFile(output_, true);
    if (failure != platform::Failure::none) return fail(outputName_, whyNotWritten(failure));
    // Cut short by the end of the input rather than by the host's cancel: the file stays,
    // and its name says which one is not whole.
    if (!complete && !stopped_) fail(outputName_, MemberFailure::incomplete);
  }

 private:
  // True, with its path below the root, for a member the selection takes and whose name
  // gives such a path; a member without a name cannot be matched against the selection,
  // so nobody can tell whether it was wanted: it is counted as left out whatever the
  // selection says. Folders above the path that wait for their mode and time and do not
  // hold it get them now.
  bool selectedAndPlaceable(const Member& member, std::string& relative) {
    const MemberPath verdict = memberPath(member.name, relative, nameRules_);
    if (verdict != MemberPath::empty && !selection_.matches(member.name)) return false;
    control_.fileCount.fetch_add(1, std::memory_order_relaxed);  // "getnumfiles": selected
    if (!placeable(member, verdict)) return false;
    tree_.settleFoldersOutside(relative);
    return true;
  }

  // False, with the member counted, when its name gives no path below the root.
  bool placeable(const Member& member, MemberPath verdict) {
    switch (verdict) {
      case MemberPath::ok:
        return true;
      case MemberPath::climbsUp:
        fail(member.name, MemberFailure::unsafeName);
        return false;
      case MemberPath::empty:
        fail(member.name, MemberFailure::noName);
        return false;
    }
    return false;
  }

  static MemberFailure whyNotWritten(platform::Failure failure) {
    return failure == platform::Failure::noSpace ? MemberFailure::diskFull
                                                 : MemberFailure::notWritten;
  }

  void fail(const std::string& name, MemberFailure why, const std::string& detail = std::string()) {
    control_.failures.add(name, why, detail);
  }

  // The file cannot be completed: it is removed and what was at its path stays.
  void abandonOutput(MemberFailure why) {
    tree_.closeFile(output_, false);
    fail(outputName_, why);
  }

  // A write failed; its cause is read before the close can change it.
  void abandonAfterStreamError() { abandonOutput(whyNotWritten(platform::lastStreamFailure())); }

  OutputTree tree_;
  const NameRules nameRules_ = platform::windowsNames() ? NameRules::windows : NameRules::bytes;
  const Selection selection_;  // compiled once for the job
  JobControl& control_;
  std::vector<char> buffer_;
  OpenOutput output_;
  std::string outputName_;
  std::int64_t mtime_ = 0;
  std::int32_t nanoseconds_ = 0;
  std::int64_t size_ = 0;
  bool endsInHole_ = false;  // the last stretch passed on was a hole
  bool stopped_ = false;     // the host cancelled the job
};

}  // namespace

WalkEnd extractMembers(ArchiveStream& stream, const std::string& outputRoot, platform::FileId archive,
                       const std::string& selection, JobControl& control) {
  WalkProgress progress{control.bytesConsumed, control.archivePosition};
  // The destination was checked and made just before; should it have gone meanwhile, every
  // member is counted as not extracted.
  std::unique_ptr<platform::OutputFolder> root;
  if (control.hooks.openOutputRoot)
    control.hooks.openOutputRoot(outputRoot, root);
  else
    platform::openOutputRoot(outputRoot, root);
  ExtractVisitor visitor(outputRoot, std::move(root), archive, selection, control);
  const WalkEnd end = walkArchive(stream, visitor, progress);
  visitor.finish();
  return end;
}

}  // namespace untgz
