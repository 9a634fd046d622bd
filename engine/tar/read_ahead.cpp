#include "engine/tar/read_ahead.h"

#include <system_error>

namespace untgz {

// Read on the walk's own thread, a chunk is used up before the next is read: one slot does.
ReadAhead::ReadAhead(ArchiveStream& stream, bool threaded)
    : stream_(stream), slots_(threaded ? kChunks : 1) {
  // Allocated here, on the walk's thread, where a failure ends the job as any other would.
  for (Slot& slot : slots_) slot.buffer.reset(new unsigned char[kChunkSize]);
  position_ = stream_.archivePosition();
  if (!threaded) return;
  try {
    thread_ = std::thread([this] { produce(); });
  } catch (const std::system_error&) {
    // No thread: the walk reads each chunk itself, as slowly as before but correctly (the
    // slots beyond the first stay unused).
  }
}

ReadAhead::~ReadAhead() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ReadAhead::fill(Slot& slot) {
  Chunk& chunk = slot.chunk;
  chunk = Chunk();
  chunk.data = slot.buffer.get();
  chunk.positionBefore = position_;
  while (chunk.size < kChunkSize) {
    const std::ptrdiff_t got = stream_.read(slot.buffer.get() + chunk.size, kChunkSize - chunk.size);
    if (got <= 0) {
      chunk.last = true;
      chunk.damaged = got < 0;
      break;
    }
    chunk.size += static_cast<std::size_t>(got);
  }
  position_ = stream_.archivePosition();
  chunk.positionAfter = position_;
}

void ReadAhead::produce() {
  for (;;) {
    std::unique_lock<std::mutex> guard(lock_);
    // A slot is free once the walk has moved past it: it holds the chunk before the one in use.
    changed_.wait(guard, [this] { return stop_ || filled_ < taken_ + kChunks - 1; });
    if (stop_) return;
    Slot& slot = slots_[filled_ % slots_.size()];
    guard.unlock();
    fill(slot);
    guard.lock();
    ++filled_;
    const bool last = slot.chunk.last;
    guard.unlock();
    changed_.notify_all();
    if (last) return;
  }
}

const ReadAhead::Chunk& ReadAhead::next() {
  Slot& slot = slots_[taken_ % slots_.size()];
  if (!thread_.joinable()) {
    fill(slot);
    ++filled_;
    ++taken_;
    return slot.chunk;
  }
  {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return filled_ > taken_; });
    ++taken_;
  }
  changed_.notify_all();
  return slot.chunk;
}

}  // namespace untgz
