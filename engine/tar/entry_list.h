// The entries a listing job records, walked afterwards by the host one at a time
// ("tarinfo", "tarinfo2", the getters) and freed with "tarinfodelete".
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/protocol.h"

namespace untgz {

// One entry as the getters read it. The name lies in the list's own storage and is valid
// while the list's lock is held (see readCurrent).
struct EntryRecord {
  std::string_view name;  // the member's name, whole up to kMaxWholeText UTF-16 units
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
//
// A listing may hold millions of entries, so they are kept packed: 32 bytes each in blocks
// of a fixed size, and the names one after the other in blocks of 1 MiB. Nothing is
// allocated per entry, and no block is ever copied as a growing array would be.
//
// Names are kept as long as a host is handed them: whole up to protocol::kMaxWholeText
// UTF-16 units (the longest path the system takes; names of megabytes would otherwise all
// stay in memory). What names take beyond the kMaxOutputText characters the ANSI words hand
// out is capped for the whole list (kLongNameBudget): past it, a name is kept as the ANSI
// words hand it, and cutNames() counts those names.
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

  // The names kept cut because the list's budget for long names was spent, in the last
  // list filled; freeing the list keeps the count for the host to ask after it.
  std::int64_t cutNames() const;
  // Forgets the count, when a new job starts.
  void forgetCutNames();

  // Answers read(the current entry), the values the getter commands return. Nothing is
  // copied: the getters cannot fail for want of memory.
  template <typename Read>
  auto readCurrent(Read read) const {
    std::lock_guard<std::mutex> guard(lock_);
    return read(loaded_ != kNone ? record(loaded_) : kept_);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::size_t kEntriesPerBlock = 32 * 1024;
  static constexpr std::size_t kNameBlockSize = 1024 * 1024;
  // What the names of one list may take beyond kMaxOutputText characters each.
  static constexpr std::size_t kLongNameBudget = 32 * 1024 * 1024;

  struct Packed {
    std::uint64_t name;  // block number * kNameBlockSize + offset in the block
    std::int64_t size;
    std::int32_t year;
    std::uint32_t nameLength;
    std::uint8_t month, day, hour, minute, second, isDir;
  };
  static_assert(sizeof(Packed) == 32, "entries are kept in 32 bytes");

  EntryRecord record(std::size_t index) const;

  mutable std::mutex lock_;
  std::vector<std::unique_ptr<Packed[]>> blocks_;
  std::vector<std::unique_ptr<char[]>> nameBlocks_;
  std::size_t count_ = 0;
  std::size_t nameUsed_ = kNameBlockSize;  // in the last name block
  // Index of the record the next "tarinfo2" loads; kNone once the end has been passed
  // (and at first, and after the list was freed, until "tarinfo" rewinds).
  std::size_t cursor_ = kNone;
  // Index of the current entry, or kNone while it is `kept_`: the one loaded when the list
  // was freed (empty at first).
  std::size_t loaded_ = kNone;
  EntryRecord kept_;
  std::string keptName_;
  std::size_t longNameBytes_ = 0;  // taken from kLongNameBudget
  std::int64_t cutNames_ = 0;
};

}  // namespace untgz
