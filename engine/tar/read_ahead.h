// The archive stream read ahead of the walk on a thread of its own: while the walk parses
// and writes one chunk, the next ones are read and inflated into a bounded ring (a few
// chunks of 256 KiB), so that inflating and writing overlap and memory stays flat. The
// walk takes the chunks in order and hands each back when it takes the next. Stopping
// (the destructor) ends the thread at its next chunk and waits for it: no thread outlives
// the walk.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/tar/archive_stream.h"

namespace untgz {

class ReadAhead {
 public:
  // Every chunk but the last is full: a whole number of 512-byte blocks.
  static constexpr std::size_t kChunkSize = 256 * 1024;
  static constexpr std::size_t kChunks = 8;

  struct Chunk {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    // Where the archive file stood before and after this chunk was read: the walk's
    // progress is the share of this span that it has used.
    std::int64_t positionBefore = 0, positionAfter = 0;
    bool last = false;     // the stream ends after this chunk
    bool damaged = false;  // ... because the compressed data is damaged
  };

  // With `threaded` false (or when no thread can be started) every chunk is read when the
  // walk asks for it, on the walk's own thread.
  explicit ReadAhead(ArchiveStream& stream, bool threaded = true);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next chunk, once it is read; the one before is handed back. Not to be called after
  // the last chunk.
  const Chunk& next();

 private:
  struct Slot {
    // Not zeroed: the pages of a chunk that a short archive never fills are never touched.
    std::unique_ptr<unsigned char[]> buffer;
    Chunk chunk;
  };

  void fill(Slot& slot);
  void produce();

  ArchiveStream& stream_;
  std::vector<Slot> slots_;
  std::int64_t position_ = 0;  // after the last chunk read
  std::size_t taken_ = 0;      // chunks the walk has taken
  std::size_t filled_ = 0;     // chunks read
  bool stop_ = false;
  std::mutex lock_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace untgz
