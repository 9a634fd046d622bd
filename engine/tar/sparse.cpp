#include "engine/tar/sparse.h"

#include "engine/tar/numbers.h"

namespace untgz {

bool sparseMapFits(const SparseMap& map, std::int64_t realSize, std::int64_t storedSize) {
  if (realSize < 0 || storedSize < 0 || map.size() > kMaxSparseSegments) return false;
  std::int64_t end = 0;     // of the previous segment
  std::int64_t stored = 0;  // bytes the segments so far take from the member
  for (const SparseSegment& segment : map) {
    if (segment.offset < end || segment.length < 0) return false;
    // Within the real size, and so without overflow: offset <= realSize - length.
    if (segment.length > realSize || segment.offset > realSize - segment.length) return false;
    if (segment.length > storedSize - stored) return false;
    end = segment.offset + segment.length;
    stored += segment.length;
  }
  return true;
}

bool parseSparseMapList(const std::string& text, SparseMap& map) {
  std::size_t position = 0;
  bool offsetNext = true;
  for (;;) {
    const std::size_t comma = text.find(',', position);
    const std::size_t end = comma == std::string::npos ? text.size() : comma;
    std::int64_t value = 0;
    if (!readDecimal(text.substr(position, end - position), value)) return false;
    if (offsetNext) {
      if (map.size() >= kMaxSparseSegments) return false;
      map.push_back({value, 0});
    } else {
      map.back().length = value;
    }
    offsetNext = !offsetNext;
    if (comma == std::string::npos) break;
    position = comma + 1;
  }
  return offsetNext;  // every offset has its length
}

SparseMapText::State SparseMapText::feed(const unsigned char* bytes, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (c != '\n') {
      // No 64-bit number has more than 19 digits without leading zeros; readDecimal
      // decides whether those 19 fit.
      if (c < '0' || c > '9' || digits_.size() >= 19) return State::malformed;
      digits_ += c;
      continue;
    }
    std::int64_t value = 0;
    if (!readDecimal(digits_, value)) return State::malformed;
    digits_.clear();
    const State state = number(value);
    if (state != State::needMore) return state;
  }
  return State::needMore;
}

SparseMapText::State SparseMapText::number(std::int64_t value) {
  if (count_ < 0) {
    if (value > static_cast<std::int64_t>(kMaxSparseSegments)) return State::malformed;
    count_ = value;
  } else if (!haveOffset_) {
    map_.push_back({value, 0});
    haveOffset_ = true;
  } else {
    map_.back().length = value;
    haveOffset_ = false;
  }
  const bool done = !haveOffset_ && static_cast<std::int64_t>(map_.size()) == count_;
  return done ? State::complete : State::needMore;
}

}  // namespace untgz
