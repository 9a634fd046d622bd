// The listing walk: records every directory and regular file in the entry list, with its
// modification time in local time. Pause and cancel do not apply to a listing.
#include <ctime>

#include "engine/tar/entry_list.h"
#include "engine/platform/platform.h"
#include "engine/tar/archive_job.h"
#include "engine/tar/tar_reader.h"

namespace untgz {

namespace {

class ListVisitor : public WalkVisitor {
 public:
  explicit ListVisitor(JobControl& control) : control_(control) {}

  void onDirectory(const Member& member) override {
    record(member, 1, 0);
    control_.dirCount.fetch_add(1);
  }
  void onFileBegin(const Member& member) override {
    record(member, 0, member.size);
    control_.fileCount.fetch_add(1);
  }

 private:
  void record(const Member& member, std::int32_t isDir, std::int64_t size) {
    // Members of one archive mostly share a few times: each is converted once in a row.
    if (!haveLast_ || member.mtime != lastTime_) {
      if (!platform::localTime(member.mtime, lastLocal_)) lastLocal_ = std::tm{};
      lastTime_ = member.mtime;
      haveLast_ = true;
    }
    const std::tm& local = lastLocal_;
    const bool converted = local.tm_mday != 0;
    control_.entries.add(isDir, local.tm_sec, local.tm_min, local.tm_hour,
                         converted ? local.tm_year + 1900 : 0, converted ? local.tm_mon + 1 : 0,
                         local.tm_mday, member.name, size);
  }

  JobControl& control_;
  bool haveLast_ = false;
  std::int64_t lastTime_ = 0;
  std::tm lastLocal_{};
};

}  // namespace

WalkEnd listMembers(ArchiveStream& stream, JobControl& control) {
  ListVisitor visitor(control);
  WalkProgress progress{control.bytesConsumed, control.archivePosition};
  return walkArchive(stream, visitor, progress);
}

}  // namespace untgz
