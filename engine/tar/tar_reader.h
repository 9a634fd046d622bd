// Reading a tar stream through the gzip layer: the walk that both the extraction and the
// listing drive, over ustar, old-style and GNU headers, GNU long names, pax extended
// headers and GNU sparse files. The pieces it is made of have their own headers: the
// header block's fields (header.h), its numbers and checksum (numbers.h), pax records
// (pax_records.h), sparse maps (sparse.h) and the blocks themselves (block_source.h).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/tar/archive_stream.h"
#include "engine/tar/walk_progress.h"

namespace untgz {

struct Member {
  enum class Kind { directory, file, hardLink, symbolicLink, special, other };
  Kind kind = Kind::other;
  std::string name;
  std::int64_t size = 0;   // a file's size: its data and holes
  std::int64_t mtime = 0;  // seconds since 1970 UTC, rounded down
  std::int32_t mtimeNanoseconds = 0;  // after them (pax times carry them)
  // Permission bits as stored (07777 of the mode field), or -1 when the field is no number.
  std::int32_t mode = -1;
  std::string linkName;  // a link's target as stored (pax linkpath, GNU long link, header)
  char typeflag = 0;     // which special kind ('3' character device, '4' block, '6' FIFO)
};

// What a walk does with the members; every callback is optional.
class WalkVisitor {
 public:
  virtual ~WalkVisitor() = default;
  // Asked before each 512-byte block is read, and before each chunk of the compressed
  // stream read past the end of the archive; false stops the walk there.
  virtual bool beforeBlock() { return true; }
  virtual void onDirectory(const Member&) {}
  virtual void onFileBegin(const Member&) {}
  virtual void onFileData(const unsigned char*, std::size_t) {}
  // A stretch of zeros of the file that the archive does not store (a hole of a sparse
  // file), between or after the onFileData calls, in the file's order.
  virtual void onFileHole(std::int64_t /*length*/) {}
  // complete is false when the walk ended inside the file's data.
  virtual void onFileEnd(bool /*complete*/) {}
  // A hard or symbolic link: its name and its target.
  virtual void onLink(const Member&) {}
  // A device or FIFO: nothing but its name and kind.
  virtual void onSpecial(const Member&) {}
};

enum class WalkEnd {
  endOfArchive,  // an all-zero block, or the input ended cleanly after a member
  stopped,       // beforeBlock said no
  shortRead,     // the input ended inside a block, a member's data or its extended header,
                 // or held no block at all
  readError,     // the gzip layer reported a damaged stream while reading
  badHeader,     // a header that is not a tar header, or numbers, records or a sparse map
                 // out of range
};

// Walks the members to the end of the archive. A compressed stream is then read on to its
// own end, so that the gzip layer checks its length and CRC even when the writer put the
// end of the archive well before the end of the stream (a damaged byte anywhere shows as
// readError); a plain file is not read past the end of the archive.
// The stream is read ahead on a thread of its own (see read_ahead.h) unless `readAhead` is
// false; that thread has ended when this returns.
WalkEnd walkArchive(ArchiveStream& stream, WalkVisitor& visitor, WalkProgress& progress,
                    bool readAhead = true);

// Closes the stream and forms the walk's result: 3 when the stream reports damaged data,
// else 8 for a short read or a bad header, else 0.
std::int32_t finishWalk(ArchiveStream& stream, WalkEnd end);

}  // namespace untgz
