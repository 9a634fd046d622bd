// The extraction walk: writes the selected regular files under the output root with
// their modification times, creates the folders of directory entries, and honours the
// pause and cancel requests before every block.
#include <cstdio>
#include <optional>
#include <vector>

#include "../platform/platform.h"
#include "archive_job.h"
#include "destination.h"
#include "output_path.h"
#include "selection.h"
#include "tar_reader.h"

namespace untgz {

namespace {

constexpr unsigned pauseSleepMilliseconds = 50;
// Output goes through a large stream buffer: one system call per 256 KiB, not per block.
constexpr std::size_t outputBufferSize = 256 * 1024;

std::string parentFolder(const std::string& path) {
  const std::size_t separator = path.find_last_of('\\');
  return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

class ExtractVisitor : public WalkVisitor {
 public:
  ExtractVisitor(const std::string& outputRoot, const std::string& selection, JobControl& control)
      : outputRoot_(outputRoot), selection_(selection), control_(control), buffer_(outputBufferSize) {}

  ~ExtractVisitor() override { closeOutput(); }

  bool beforeBlock() override {
    if (control_.pauseFlag.load(std::memory_order_relaxed) != 0)
      platform::sleepMilliseconds(pauseSleepMilliseconds);
    return control_.cancelFlag.load(std::memory_order_relaxed) == 0;
  }

  void onDirectory(const Member& member) override {
    // Folders are made whatever the selection says; a failure is not reported.
    if (const auto path = buildOutputPath(outputRoot_, member.name)) createDirectoryPath(*path);
  }

  void onFileBegin(const Member& member) override {
    if (!matchSelection(member.name, selection_)) return;
    const auto path = buildOutputPath(outputRoot_, member.name);
    if (!path) return;  // a name that would leave the destination is passed over
    std::FILE* file = platform::openOutputFile(*path);
    if (!file) {
      // The member's folder may be missing when the archive has no entry for it.
      const std::string parent = parentFolder(*path);
      if (parent.size() > outputRoot_.size()) createDirectoryPath(parent);
      file = platform::openOutputFile(*path);
    }
    if (!file) return;  // a file that cannot be opened (read-only, odd name) is passed over
    std::setvbuf(file, buffer_.data(), _IOFBF, buffer_.size());
    if (member.size == 0) {
      // An empty member is an empty file, closed at once, with the member's time like any
      // other: an empty file's time is as much part of the archive as its name.
      if (std::fclose(file) == 0) platform::setFileTime(*path, member.mtime);
      return;
    }
    output_ = file;
    outputPath_ = *path;
    mtime_ = member.mtime;
  }

  void onFileData(const unsigned char* data, std::size_t length) override {
    if (!output_) return;
    if (std::fwrite(data, 1, length, output_) != length) abandonOutput();
  }

  void onFileEnd(bool complete) override {
    if (!output_) return;
    const bool written = std::fclose(output_) == 0;
    output_ = nullptr;
    if (!written) {
      // The last buffered bytes did not reach the disk: the file is not the member.
      platform::removeFile(outputPath_);
    } else if (complete) {
      platform::setFileTime(outputPath_, mtime_);
    }
    // A file cut short by a cancel or by the end of the input stays as written, untimed.
  }

 private:
  void abandonOutput() {
    std::fclose(output_);
    output_ = nullptr;
    platform::removeFile(outputPath_);
  }

  void closeOutput() {
    if (output_) std::fclose(output_);
    output_ = nullptr;
  }

  const std::string& outputRoot_;
  const std::string& selection_;
  JobControl& control_;
  std::vector<char> buffer_;
  std::FILE* output_ = nullptr;
  std::string outputPath_;
  std::int64_t mtime_ = 0;
};

}  // namespace

std::int32_t extractMembers(gzFile file, const std::string& outputRoot,
                            const std::string& selection, JobControl& control) {
  WalkProgress progress{control.bytesConsumed, control.archivePosition};
  WalkEnd end;
  {
    ExtractVisitor visitor(outputRoot, selection, control);
    end = walkArchive(file, visitor, progress);
  }
  return finishWalk(file, end);
}

}  // namespace untgz
