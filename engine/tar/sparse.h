// Sparse members as GNU tar writes them: the file's real size, a map of the stretches that
// hold data (offset and length in the file), and the stretches' bytes stored back to back
// as the member's data. The map comes from an old GNU sparse header and its extension
// blocks, from pax records (GNU sparse 0.0 and 0.1) or from the start of the member's data
// (GNU sparse 1.0); this module checks it, reads the 1.0 form and turns the stored bytes
// back into the file, holes included.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace untgz {

struct SparseSegment {
  std::int64_t offset = 0;
  std::int64_t length = 0;
};

using SparseMap = std::vector<SparseSegment>;

// The most segments one member may have: 8 MiB of map, far more than a real file's holes
// need, and a bound for what a hostile archive can make the reader keep.
constexpr std::size_t kMaxSparseSegments = 512 * 1024;

// A map is usable when its segments come in order without overlapping, every one ends
// within the real size (nothing is ever written past it) and they need no more bytes than
// the member stores. Zero-length segments are allowed (GNU tar ends its maps with one at
// the real size).
bool sparseMapFits(const SparseMap& map, std::int64_t realSize, std::int64_t storedSize);

// "offset,length,offset,length,..." of a pax GNU.sparse.map record, appended to `map`.
// False for anything else (an odd count, a number that is no decimal or too large, more
// than kMaxSparseSegments).
bool parseSparseMapList(const std::string& text, SparseMap& map);

// The map that GNU sparse 1.0 puts before a member's data: decimal numbers each ended by a
// newline (the count of segments, then offset and length of each), padded with anything
// to whole blocks. Fed block by block; the count is never trusted for memory, only the
// numbers actually read are kept.
class SparseMapText {
 public:
  enum class State { needMore, complete, malformed };
  State feed(const unsigned char* bytes, std::size_t length);
  SparseMap& map() { return map_; }

 private:
  State number(std::int64_t value);

  SparseMap map_;
  std::string digits_;
  std::int64_t count_ = -1;  // segments announced; -1 until read
  bool haveOffset_ = false;
};

// Turns the stored bytes of a sparse member back into the file's content: every stored byte
// goes to the data sink at its place, and the stretches between as holes (a length of
// zeros, for the sink to seek over). The map must have passed sparseMapFits; stored bytes
// past the last segment are not part of the file and are dropped.
template <class Sink>
class SparseExpander {
 public:
  SparseExpander(const SparseMap& map, std::int64_t realSize, Sink& sink)
      : map_(map), realSize_(realSize), sink_(sink) {}

  void feed(const unsigned char* bytes, std::size_t length) {
    while (length > 0 && reachSegment()) {
      const std::int64_t room = map_[index_].length - done_;
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::int64_t>(room, static_cast<std::int64_t>(length)));
      sink_.data(bytes, take);
      bytes += take;
      length -= take;
      done_ += static_cast<std::int64_t>(take);
      position_ += static_cast<std::int64_t>(take);
    }
  }

  // After the last stored byte: the holes up to the real size.
  void finish() {
    while (reachSegment()) {
      // Only zero-length segments are left here (the map needs no more than was stored).
      done_ = map_[index_].length;
    }
    if (position_ < realSize_) sink_.hole(realSize_ - position_);
    position_ = realSize_;
  }

 private:
  // Moves to the next segment that still wants bytes, with the hole before it; false when
  // none is left.
  bool reachSegment() {
    while (index_ < map_.size()) {
      const SparseSegment& segment = map_[index_];
      if (done_ == 0 && position_ < segment.offset) {
        sink_.hole(segment.offset - position_);
        position_ = segment.offset;
      }
      if (done_ < segment.length) return true;
      ++index_;
      done_ = 0;
    }
    return false;
  }

  const SparseMap& map_;
  const std::int64_t realSize_;
  Sink& sink_;
  std::size_t index_ = 0;
  std::int64_t done_ = 0;      // bytes of the current segment passed on
  std::int64_t position_ = 0;  // in the file
};

}  // namespace untgz
