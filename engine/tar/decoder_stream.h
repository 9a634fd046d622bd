// The archive stream of every compression but gzip (which has inflaters of its own, see
// inflaters.h): one loop over the file that feeds a codec, and codecs for bzip2 (libbz2),
// xz, lzma and lzip (liblzma) and zstd (libzstd).
//
// All read alike, the way the gzip readers do: streams (or members, or frames) one after
// the other are one tar stream; after a stream, bytes that do not start another end it
// quietly; a stream cut off or damaged, or whose check fails, is damage. A stream that
// needs more memory than kDecoderMemoryLimit is refused before that memory is taken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/unique_resource.h"
#include "engine/tar/archive_format.h"
#include "engine/tar/archive_stream.h"

namespace untgz {

// One compression's decoder, driven one stream at a time.
class Codec {
 public:
  enum class Status {
    ok,         // went on as far as the input or the output allowed
    streamEnd,  // the stream is whole and checked; `in` points past it
    damaged,    // damaged, cut off (when told the input has ended) or a failed check
    memory,     // needs more memory than the limit: memoryNeeded() says how much
  };

  virtual ~Codec() = default;
  // Gets ready for a stream that starts at the next input. False when the decoder cannot
  // be set up (no memory), which counts as damage.
  virtual bool start() = 0;
  // Decodes from [in, in + inSize) into [out, out + outSize), moving both on. `inputEnded`
  // says no input follows what is given.
  virtual Status decode(const unsigned char*& in, std::size_t& inSize, unsigned char*& out,
                        std::size_t& outSize, bool inputEnded) = 0;
  // After Status::memory: the bytes the stream would need.
  virtual std::uint64_t memoryNeeded() const { return 0; }
};

std::unique_ptr<Codec> makeBzip2Codec();
std::unique_ptr<Codec> makeLzmaCodec(ArchiveFormat format);  // xz, lzma or lzip
std::unique_ptr<Codec> makeZstdCodec();

// The stream of a file of that format (not gzip, plain or other), which it owns.
std::unique_ptr<ArchiveStream> decoderStreamOf(zax::UniqueStream file, ArchiveFormat format);

}  // namespace untgz
