#include "engine/entry_list.h"

#include <cstddef>
#include <mutex>
#include <vector>

namespace untgz {

namespace {

// The list is filled by the worker and read by the host only after the job has ended;
// the lock keeps a host that reads too early from tearing a record.
struct EntryList {
  std::mutex lock;
  std::vector<EntryRecord> entries;
  // Index of the record the next "tarinfo2" loads; noCursor once the end has been passed
  // (and at load, and after the list was freed, until "tarinfo" rewinds).
  static constexpr std::size_t noCursor = static_cast<std::size_t>(-1);
  std::size_t cursor = noCursor;
  EntryRecord current;
};

EntryList& entryList() {
  static EntryList list;
  return list;
}

}  // namespace

std::int32_t addEntry(std::int32_t isDir, std::int32_t second, std::int32_t minute,
                      std::int32_t hour, std::int32_t year, std::int32_t month, std::int32_t day,
                      const std::string& name, std::int64_t size) {
  EntryList& list = entryList();
  EntryRecord record;
  record.name.assign(name, 0, protocol::kMaxOutputText);
  record.isDir = isDir;
  record.second = second;
  record.minute = minute;
  record.hour = hour;
  record.year = year;
  record.month = month;
  record.day = day;
  record.size = size;
  std::lock_guard<std::mutex> guard(list.lock);
  list.entries.push_back(std::move(record));
  return 0;
}

std::int32_t nextEntry(std::int32_t fromStart) {
  EntryList& list = entryList();
  std::lock_guard<std::mutex> guard(list.lock);
  if (fromStart == 0) list.cursor = 0;
  if (list.entries.empty() || list.cursor == EntryList::noCursor) return 0;
  if (list.cursor >= list.entries.size()) {
    list.cursor = EntryList::noCursor;
    return 0;
  }
  list.current = list.entries[list.cursor++];
  return 1;
}

std::int32_t deleteEntryList() {
  EntryList& list = entryList();
  std::lock_guard<std::mutex> guard(list.lock);
  if (!list.entries.empty()) {
    std::vector<EntryRecord>().swap(list.entries);
    list.cursor = EntryList::noCursor;
  }
  return 0;
}

EntryRecord currentEntry() {
  EntryList& list = entryList();
  std::lock_guard<std::mutex> guard(list.lock);
  return list.current;
}

}  // namespace untgz
