// The members an extraction did not extract, and why: what "getnumfailed" counts and
// "getfailure" hands out one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace untgz {

// Why a member was not extracted; "getfailure" answers these numbers.
enum class MemberFailure : std::int32_t {
  unsafeName = 1,          // a ".." component: the name leads out of the destination
  noName = 2,              // nothing is left of the name
  linkOnTheWay = 3,        // a folder of the path is a link, which is not followed
  fileOnTheWay = 4,        // a file stands where a folder of the path must be
  folderInTheWay = 5,      // a folder stands where the file must be
  isTheArchive = 6,        // the file would replace the archive being read
  pathTooLong = 7,         // the system cannot take a path this long
  folderNotCreated = 8,    // a folder of the path could not be made
  fileNotCreated = 9,      // the file could not be made (access, a name the system refuses)
  notReplaced = 10,        // what is at the path could not be removed
  notWritten = 11,         // a write or the close failed; the partial file is removed
  diskFull = 12,           // no space left: the file is removed and the job goes on
  readOnlyInTheWay = 13,   // a read-only file is at the path, and is kept
  incomplete = 14,         // the archive ends inside the member: its file stays as written
  replacedByLater = 15,    // a later member the file system takes as the same name replaced it
  linkOutside = 16,        // a link whose target is absolute or leads out of the destination
  specialKind = 17,        // a FIFO or device, which is never made
  linkTargetMissing = 18,  // a hard link to a file this job did not write
  linkNotMade = 19,        // the system made no link, and no copy could stand in
};

// The text of a reason, for hosts that show which members were left out; `detail` is what
// the reason names (for replacedByLater the later member), empty for the others.
std::string memberFailureText(MemberFailure reason, const std::string& detail = std::string());

// The members a job did not extract: every one is counted; the first `kKeptFailures` are
// kept with their names, whole up to what the UTF-8 words hand out while all the names
// together stay within kNameBudget bytes, cut to what the ANSI words hand out past it, so
// a hostile archive cannot make the log grow without bound.
class FailureLog {
 public:
  static constexpr std::size_t kKeptFailures = 1000;
  static constexpr std::size_t kNameBudget = 8 * 1024 * 1024;

  void clear();
  // Never throws, so that a member's file can be counted while an exception unwinds the
  // walk: when memory runs out the member is counted without its name.
  void add(const std::string& name, MemberFailure reason,
           const std::string& detail = std::string()) noexcept;
  std::int64_t count() const;
  // Calls read(name, reason, detail) with the failure kept at that index, without copying
  // it; false when none is kept there.
  template <typename Read>
  bool read(std::size_t index, Read read) const {
    std::lock_guard<std::mutex> guard(lock_);
    if (index >= kept_.size()) return false;
    read(kept_[index].name, kept_[index].reason, kept_[index].detail);
    return true;
  }

 private:
  struct Entry {
    std::string name;
    MemberFailure reason;
    std::string detail;
  };
  mutable std::mutex lock_;
  std::vector<Entry> kept_;
  std::int64_t count_ = 0;
  std::size_t nameBytes_ = 0;
};

}  // namespace untgz
