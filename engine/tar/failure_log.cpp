#include "engine/tar/failure_log.h"

#include <new>

#include "common/protocol.h"
#include "common/utf8.h"

namespace untgz {

std::string memberFailureText(MemberFailure reason, const std::string& detail) {
  switch (reason) {
    case MemberFailure::unsafeName: return "its name leads out of the destination folder";
    case MemberFailure::noName: return "it has no name that can be written";
    case MemberFailure::linkOnTheWay: return "a folder of its path is a link, which is not followed";
    case MemberFailure::fileOnTheWay: return "a file stands where a folder of its path must be";
    case MemberFailure::folderInTheWay: return "a folder stands where the file must be";
    case MemberFailure::isTheArchive: return "it would replace the archive being read";
    case MemberFailure::pathTooLong: return "its path is longer than the system takes";
    case MemberFailure::folderNotCreated: return "a folder of its path could not be created";
    case MemberFailure::fileNotCreated: return "the file could not be created";
    case MemberFailure::notReplaced: return "the existing file could not be replaced";
    case MemberFailure::notWritten: return "the file could not be written";
    case MemberFailure::diskFull: return "the disk is full";
    case MemberFailure::readOnlyInTheWay: return "a read-only file is in the way";
    case MemberFailure::incomplete: return "incomplete: the archive ends inside it";
    case MemberFailure::replacedByLater:
      return "replaced by " + detail + ", which the file system takes as the same name";
    case MemberFailure::linkOutside: return "link leads outside the destination folder";
    case MemberFailure::specialKind: return "it is " + detail + ", which is not extracted";
    case MemberFailure::linkTargetMissing: return "its link target is not a file this extraction wrote";
    case MemberFailure::linkNotMade: return "the link could not be made";
  }
  return "it could not be extracted";
}

void FailureLog::clear() {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<Entry>().swap(kept_);
  count_ = 0;
  nameBytes_ = 0;
}

void FailureLog::add(const std::string& name, MemberFailure reason, const std::string& detail) noexcept {
  std::lock_guard<std::mutex> guard(lock_);
  ++count_;
  if (kept_.size() >= kKeptFailures) return;
  try {
    std::size_t length = zax::utf8PrefixLengthUtf16(name, protocol::kMaxWholeText);
    if (nameBytes_ + length > kNameBudget) length = zax::utf8PrefixLength(name, protocol::kMaxOutputText);
    kept_.push_back({name.substr(0, length), reason,
                     detail.substr(0, zax::utf8PrefixLength(detail, protocol::kMaxOutputText))});
    nameBytes_ += length;
  } catch (const std::bad_alloc&) {
    // The member is counted all the same; only its name is not kept.
  }
}

std::int64_t FailureLog::count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return count_;
}

}  // namespace untgz
