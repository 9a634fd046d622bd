#include "engine/entry_list.h"

#include "common/utf8.h"

namespace untgz {

void EntryList::add(std::int32_t isDir, std::int32_t second, std::int32_t minute, std::int32_t hour,
                    std::int32_t year, std::int32_t month, std::int32_t day,
                    const std::string& name, std::int64_t size) {
  EntryRecord record;
  record.name.assign(name, 0, zax::utf8PrefixLength(name, protocol::kMaxOutputText));
  record.isDir = isDir;
  record.second = second;
  record.minute = minute;
  record.hour = hour;
  record.year = year;
  record.month = month;
  record.day = day;
  record.size = size;
  std::lock_guard<std::mutex> guard(lock_);
  entries_.push_back(std::move(record));
}

std::int32_t EntryList::next(std::int32_t fromStart) {
  std::lock_guard<std::mutex> guard(lock_);
  if (fromStart == 0) cursor_ = 0;
  if (entries_.empty() || cursor_ == kNone) return 0;
  if (cursor_ >= entries_.size()) {
    cursor_ = kNone;
    return 0;
  }
  loaded_ = cursor_++;
  return 1;
}

void EntryList::clear() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!entries_.empty()) {
    if (loaded_ != kNone) kept_ = std::move(entries_[loaded_]);
    loaded_ = kNone;
    std::vector<EntryRecord>().swap(entries_);
    cursor_ = kNone;
  }
}

}  // namespace untgz
