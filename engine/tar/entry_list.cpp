#include "engine/tar/entry_list.h"

#include <algorithm>
#include <cstring>

#include "common/utf8.h"

namespace untgz {

namespace {

// Calendar fields fit a byte; anything else (a value no calendar has) is kept as 0.
std::uint8_t small(std::int32_t value) {
  return value >= 0 && value <= 255 ? static_cast<std::uint8_t>(value) : 0;
}

}  // namespace

void EntryList::add(std::int32_t isDir, std::int32_t second, std::int32_t minute, std::int32_t hour,
                    std::int32_t year, std::int32_t month, std::int32_t day,
                    const std::string& name, std::int64_t size) {
  const std::size_t shortLength = zax::utf8PrefixLength(name, protocol::kMaxOutputText);
  std::size_t length = zax::utf8PrefixLengthUtf16(name, protocol::kMaxWholeText);
  std::lock_guard<std::mutex> guard(lock_);
  if (length > shortLength) {
    if (longNameBytes_ + (length - shortLength) > kLongNameBudget) {
      length = shortLength;
      ++cutNames_;
    } else {
      longNameBytes_ += length - shortLength;
    }
  }
  // Both blocks are there before anything is written, so that a failed allocation leaves
  // the list as it was.
  if (count_ == blocks_.size() * kEntriesPerBlock) {
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(std::make_unique<Packed[]>(kEntriesPerBlock));
  }
  // An empty name needs no room, but its entry still points into a block: the first
  // entry's name block is made whatever its length.
  if (nameBlocks_.empty() || nameUsed_ + length > kNameBlockSize) {
    nameBlocks_.reserve(nameBlocks_.size() + 1);
    nameBlocks_.push_back(std::make_unique<char[]>(kNameBlockSize));
    nameUsed_ = 0;
  }
  const std::size_t nameBlock = nameBlocks_.size() - 1;
  if (length > 0) std::memcpy(nameBlocks_[nameBlock].get() + nameUsed_, name.data(), length);
  Packed& entry = blocks_[count_ / kEntriesPerBlock][count_ % kEntriesPerBlock];
  entry.name = nameBlock * kNameBlockSize + nameUsed_;
  entry.nameLength = static_cast<std::uint32_t>(length);
  entry.size = size;
  entry.year = year;
  entry.month = small(month);
  entry.day = small(day);
  entry.hour = small(hour);
  entry.minute = small(minute);
  entry.second = small(second);
  entry.isDir = static_cast<std::uint8_t>(isDir != 0);
  nameUsed_ += length;
  ++count_;
}

EntryRecord EntryList::record(std::size_t index) const {
  const Packed& entry = blocks_[index / kEntriesPerBlock][index % kEntriesPerBlock];
  EntryRecord view;
  view.name = std::string_view(
      nameBlocks_[entry.name / kNameBlockSize].get() + entry.name % kNameBlockSize, entry.nameLength);
  view.isDir = entry.isDir;
  view.second = entry.second;
  view.minute = entry.minute;
  view.hour = entry.hour;
  view.year = entry.year;
  view.month = entry.month;
  view.day = entry.day;
  view.size = entry.size;
  return view;
}

std::int32_t EntryList::next(std::int32_t fromStart) {
  std::lock_guard<std::mutex> guard(lock_);
  if (fromStart == 0) cursor_ = 0;
  if (count_ == 0 || cursor_ == kNone) return 0;
  if (cursor_ >= count_) {
    cursor_ = kNone;
    return 0;
  }
  loaded_ = cursor_++;
  return 1;
}

void EntryList::clear() {
  std::lock_guard<std::mutex> guard(lock_);
  if (count_ == 0) return;
  if (loaded_ != kNone) {
    // The current entry outlives the list: its name moves to storage of its own.
    kept_ = record(loaded_);
    try {
      keptName_.assign(kept_.name);
    } catch (...) {
      keptName_.clear();  // no memory: the entry is kept without its name
    }
    kept_.name = keptName_;
  }
  loaded_ = kNone;
  std::vector<std::unique_ptr<Packed[]>>().swap(blocks_);
  std::vector<std::unique_ptr<char[]>>().swap(nameBlocks_);
  count_ = 0;
  nameUsed_ = kNameBlockSize;
  cursor_ = kNone;
  longNameBytes_ = 0;
}

std::int64_t EntryList::cutNames() const {
  std::lock_guard<std::mutex> guard(lock_);
  return cutNames_;
}

void EntryList::forgetCutNames() {
  std::lock_guard<std::mutex> guard(lock_);
  cutNames_ = 0;
}

}  // namespace untgz
