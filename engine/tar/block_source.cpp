#include "engine/tar/block_source.h"

#include <cstring>

#include "engine/tar/header.h"

namespace untgz {

namespace {

// The gzip layer is asked for this much at a time; the walk still sees 512-byte blocks.
constexpr std::size_t kReadChunk = 256 * 1024;

}  // namespace

BlockSource::BlockSource(gzFile file, WalkProgress& progress)
    : file_(file), progress_(progress), buffer_(kReadChunk) {}

std::size_t BlockSource::ready() {
  if (end_ - begin_ < kBlockSize) refill();
  return (end_ - begin_) / kBlockSize;
}

void BlockSource::consume(std::size_t blocks) {
  begin_ += blocks * kBlockSize;
  consumedAny_ = consumedAny_ || blocks > 0;
  progress_.bytesConsumed.fetch_add(blocks * kBlockSize, std::memory_order_relaxed);
}

int BlockSource::discardChunk() {
  begin_ = end_ = 0;
  const int got = gzread(file_, buffer_.data(), static_cast<unsigned>(buffer_.size()));
  if (got < 0) failed_ = true;
  if (got <= 0) finished_ = true;
  notePosition();
  return got;
}

void BlockSource::refill() {
  const std::size_t leftover = end_ - begin_;
  std::memmove(buffer_.data(), buffer_.data() + begin_, leftover);
  begin_ = 0;
  end_ = leftover;
  while (!finished_ && end_ < kBlockSize) {
    const int got =
        gzread(file_, buffer_.data() + end_, static_cast<unsigned>(buffer_.size() - end_));
    if (got < 0) {
      failed_ = true;
      finished_ = true;
    } else if (got == 0) {
      finished_ = true;
    } else {
      end_ += static_cast<std::size_t>(got);
    }
    notePosition();
  }
}

void BlockSource::notePosition() {
  const z_off_t position = gzoffset(file_);
  if (position > 0) progress_.archivePosition.store(position, std::memory_order_relaxed);
}

}  // namespace untgz
