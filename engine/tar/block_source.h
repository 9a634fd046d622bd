// Where a walk's 512-byte blocks come from: large reads of the gzip layer (which passes a
// plain file through as it is), handed out block by block, with the walk's progress kept.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <vector>

#include "engine/tar/tar_reader.h"

namespace untgz {

class BlockSource {
 public:
  BlockSource(gzFile file, WalkProgress& progress);

  // Number of whole blocks ready at block(); 0 when the input has ended or failed
  // (see failed()).
  std::size_t ready();
  const unsigned char* block() const { return buffer_.data() + begin_; }
  void consume(std::size_t blocks);
  bool failed() const { return failed_; }

  // Reads on past the blocks handed out and throws the bytes away: the number read, 0 at
  // the end of the stream, -1 when the gzip layer reports damage.
  int discardChunk();
  // True once the input has ended exactly at a block boundary, with nothing left over.
  bool endedCleanly() const { return finished_ && !failed_ && begin_ == end_; }
  // True once at least one block has been handed out.
  bool consumedAny() const { return consumedAny_; }

 private:
  void refill();
  void notePosition();

  gzFile file_;
  WalkProgress& progress_;
  std::vector<unsigned char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool finished_ = false;
  bool failed_ = false;
  bool consumedAny_ = false;
};

}  // namespace untgz
