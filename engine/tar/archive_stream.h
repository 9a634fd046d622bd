// Where the tar stream comes from: the archive file, decompressed when it holds gzip, bzip2,
// xz, lzma, lzip or zstd data and read as it is otherwise, told from its first bytes,
// whatever its name (archive_format.h). The walk sees only this interface, so it does not
// know which decoder runs. gzip has two inflaters: zlib everywhere, or Intel's ISA-L where
// the build has it (it inflates several times faster); the others are decoder_stream.h's.
// archive_open.h opens a file and picks its decoder.
//
// Every decoder reads the same way: concatenated streams (gzip members, bzip2 and xz
// streams, lzip members, zstd frames) are one stream; bytes after a stream that do not
// start another one (trailing garbage) end the stream quietly; a damaged or cut-off stream
// or a failed check (CRC, length, hash) is damage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace untgz {

// Decoders refuse a stream that needs more memory than this (a dictionary or window that
// large), rather than take it: 128 MiB, zstd's own default limit, holds what every preset
// of xz and zstd writes.
inline constexpr std::uint64_t kDecoderMemoryLimit = std::uint64_t{128} << 20;

// Why a stream is not read.
struct StreamRefusal {
  enum class Kind {
    none,
    otherKind,  // the file holds another kind of data: known at the open, read() answers -1
    memory,     // the stream needs more memory than kDecoderMemoryLimit: read() answered -1
  };
  Kind kind = Kind::none;
  // What it is ("a zip archive"), or what it needs ("1537 MiB needed, the limit is 128 MiB").
  std::string what;
};

class ArchiveStream {
 public:
  virtual ~ArchiveStream() = default;

  // Reads up to `capacity` bytes of the tar stream into `into`: the count, 0 at the end
  // of the stream, -1 once the compressed data is found damaged (and from then on).
  virtual std::ptrdiff_t read(unsigned char* into, std::size_t capacity) = 0;
  // Bytes of the archive file that the data read so far came from.
  virtual std::int64_t archivePosition() const = 0;
  // True for compressed data, false for a file read as it is.
  virtual bool compressed() const = 0;
  // True when no damage was found and the file closed cleanly.
  virtual bool close() = 0;
  // Why the stream was refused, if it was; asked once no read is under way.
  virtual StreamRefusal refusal() const { return {}; }
};

}  // namespace untgz
