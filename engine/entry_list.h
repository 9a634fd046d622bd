// The entries a listing job records, walked afterwards by the host one at a time
// ("tarinfo", "tarinfo2", the getters) and freed with "tarinfodelete".
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/protocol.h"

namespace untgz {

// The host is never handed more of a name than protocol::kMaxOutputText characters
// ("tarinfofilename"), so a record keeps no more: names of megabytes (pax paths, GNU long
// names) would otherwise all stay in memory until the list is freed.
struct EntryRecord {
  std::string name;  // the first kMaxOutputText characters of the member's name
  std::int32_t isDir = 0;
  std::int32_t second = 0;
  std::int32_t minute = 0;
  std::int32_t hour = 0;
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  std::int64_t size = 0;
};

// The list is filled by the worker and read by the host only after the job has ended;
// the lock keeps a host that reads too early from tearing a record.
class EntryList {
 public:
  // Appends one entry (worker thread, during a listing job), its name cut to
  // kMaxOutputText characters.
  void add(std::int32_t isDir, std::int32_t second, std::int32_t minute, std::int32_t hour,
           std::int32_t year, std::int32_t month, std::int32_t day, const std::string& name,
           std::int64_t size);

  // Loads the first (fromStart 0) or the next (fromStart 1) entry into the current entry.
  // 1 when an entry was loaded, 0 at the end or on an empty list (the current entry keeps
  // its values).
  std::int32_t next(std::int32_t fromStart);

  // Frees every entry; the current entry keeps its values.
  void clear();

  // Answers read(the current entry), the values the getter commands return. Nothing is
  // copied: the getters cannot fail for want of memory.
  template <typename Read>
  auto readCurrent(Read read) const {
    std::lock_guard<std::mutex> guard(lock_);
    return read(loaded_ != kNone ? entries_[loaded_] : kept_);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  mutable std::mutex lock_;
  std::vector<EntryRecord> entries_;
  // Index of the record the next "tarinfo2" loads; kNone once the end has been passed
  // (and at first, and after the list was freed, until "tarinfo" rewinds).
  std::size_t cursor_ = kNone;
  // Index of the current entry, or kNone while it is `kept_`: the one loaded when the list
  // was freed (empty at first).
  std::size_t loaded_ = kNone;
  EntryRecord kept_;
};

}  // namespace untgz
