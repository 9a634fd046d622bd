// Where a walk's 512-byte blocks come from: the chunks the read-ahead hands over (the tar
// stream, inflated), walked block by block where they lie, with the walk's progress kept.
#pragma once

#include <cstddef>

#include "engine/tar/read_ahead.h"
#include "engine/tar/walk_progress.h"

namespace untgz {

class BlockSource {
 public:
  BlockSource(ReadAhead& chunks, WalkProgress& progress);

  // Number of whole blocks ready at block(); 0 when the input has ended or failed
  // (see failed()).
  std::size_t ready();
  const unsigned char* block() const { return chunk_->data + offset_; }
  void consume(std::size_t blocks);
  bool failed() const { return failed_; }

  // Passes over the rest of the stream chunk by chunk: the bytes of the chunk passed over,
  // 0 at the end of the stream, -1 when it is damaged.
  std::ptrdiff_t discardChunk();
  // True once the input has ended exactly at a block boundary, with nothing left over.
  bool endedCleanly() const { return finished_ && !failed_ && offset_ == chunk_->size; }
  // True once at least one block has been handed out.
  bool consumedAny() const { return consumedAny_; }

 private:
  // Takes the next chunk once the current one is used up; false at the end of the stream.
  bool advance();
  void notePosition();

  ReadAhead& chunks_;
  WalkProgress& progress_;
  const ReadAhead::Chunk* chunk_;
  std::size_t offset_ = 0;  // in the current chunk
  bool finished_ = false;
  bool failed_ = false;
  bool consumedAny_ = false;
};

}  // namespace untgz
