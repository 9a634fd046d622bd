#include "engine/tar/block_source.h"

#include "engine/tar/header.h"

namespace untgz {

namespace {

// Before the first chunk is taken: used up, and not the last.
const ReadAhead::Chunk kNoChunkYet{};

}  // namespace

BlockSource::BlockSource(ReadAhead& chunks, WalkProgress& progress)
    : chunks_(chunks), progress_(progress), chunk_(&kNoChunkYet) {}

bool BlockSource::advance() {
  if (chunk_->last) {
    finished_ = true;
    failed_ = chunk_->damaged;
    return false;
  }
  chunk_ = &chunks_.next();
  offset_ = 0;
  notePosition();
  return true;
}

std::size_t BlockSource::ready() {
  // Every chunk but the last is whole blocks, so a block never spans two chunks.
  while (offset_ == chunk_->size && advance()) {
  }
  if (chunk_->size - offset_ < kBlockSize && chunk_->last) {
    finished_ = true;
    failed_ = chunk_->damaged;
  }
  return (chunk_->size - offset_) / kBlockSize;
}

void BlockSource::consume(std::size_t blocks) {
  offset_ += blocks * kBlockSize;
  consumedAny_ = consumedAny_ || blocks > 0;
  progress_.bytesConsumed.fetch_add(blocks * kBlockSize, std::memory_order_relaxed);
  notePosition();
}

std::ptrdiff_t BlockSource::discardChunk() {
  offset_ = chunk_->size;
  if (!advance()) {
    notePosition();
    return failed_ ? -1 : 0;
  }
  offset_ = chunk_->size;
  notePosition();
  if (chunk_->damaged) {
    finished_ = failed_ = true;
    return -1;
  }
  if (chunk_->size == 0) finished_ = true;
  return static_cast<std::ptrdiff_t>(chunk_->size);
}

// The archive position of the data used so far: the share of the chunk's span of the file
// that the used part of the chunk stands for, so that the percentage follows the walk, not
// the read-ahead.
void BlockSource::notePosition() {
  const ReadAhead::Chunk& chunk = *chunk_;
  std::int64_t position = chunk.positionAfter;
  if (offset_ < chunk.size) {
    const std::int64_t span = chunk.positionAfter - chunk.positionBefore;
    position = chunk.positionBefore +
               static_cast<std::int64_t>(static_cast<double>(span) * static_cast<double>(offset_) /
                                         static_cast<double>(chunk.size));
  }
  if (position > 0) progress_.archivePosition.store(position, std::memory_order_relaxed);
}

}  // namespace untgz
