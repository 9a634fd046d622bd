// xz, legacy lzma and lzip through liblzma. xz checks each block's CRC32, CRC64 or SHA-256
// and its index, lzip its CRC32 and sizes; legacy lzma has no check, only the end marker or
// the size from its header. xz streams of several blocks (xz -T, pixz) are decoded on two
// threads; both decoders stay within kDecoderMemoryLimit (the threaded one drops to one
// thread rather than go over it) and say how much a stream needs when it cannot.
#include <lzma.h>

#include <algorithm>

#include "engine/tar/decoder_stream.h"

namespace untgz {

namespace {

constexpr std::uint32_t kXzThreads = 2;

class LzmaCodec : public Codec {
 public:
  explicit LzmaCodec(ArchiveFormat format) : format_(format) {}
  ~LzmaCodec() override { lzma_end(&stream_); }

  bool start() override {
    // Each stream gets a decoder of its own; concatenation is handled by the caller, so
    // that trailing bytes end the data as they do after gzip.
    lzma_end(&stream_);
    stream_ = LZMA_STREAM_INIT;
    needed_ = 0;
    lzma_ret ready = LZMA_PROG_ERROR;
    switch (format_) {
      case ArchiveFormat::xz: {
        lzma_mt options{};
        options.threads = kXzThreads;
        options.flags = 0;
        options.timeout = 0;
        options.memlimit_threading = kDecoderMemoryLimit;
        options.memlimit_stop = kDecoderMemoryLimit;
        ready = lzma_stream_decoder_mt(&stream_, &options);
        if (ready != LZMA_OK) ready = lzma_stream_decoder(&stream_, kDecoderMemoryLimit, 0);
        break;
      }
      case ArchiveFormat::lzma:
        ready = lzma_alone_decoder(&stream_, kDecoderMemoryLimit);
        break;
      case ArchiveFormat::lzip:
        ready = lzma_lzip_decoder(&stream_, kDecoderMemoryLimit, 0);
        break;
      default:
        break;
    }
    firstBlockSeen_ = format_ != ArchiveFormat::xz;
    return ready == LZMA_OK;
  }

  Status decode(const unsigned char*& in, std::size_t& inSize, unsigned char*& out,
                std::size_t& outSize, bool inputEnded) override {
    if (!firstBlockSeen_) {
      // The threaded decoder refuses a block that needs more than its limit without saying
      // how much it needs; the first block's header says it, before any is taken.
      if (!blockHeaderSeen(in, inSize, inputEnded)) return Status::ok;  // more bytes, please
      if (needed_ > kDecoderMemoryLimit) return Status::memory;
    }
    stream_.next_in = in;
    stream_.avail_in = inSize;
    stream_.next_out = out;
    stream_.avail_out = outSize;
    const lzma_ret result = lzma_code(&stream_, inputEnded ? LZMA_FINISH : LZMA_RUN);
    in = stream_.next_in;
    inSize = stream_.avail_in;
    out = stream_.next_out;
    outSize = stream_.avail_out;
    switch (result) {
      case LZMA_OK:
        return Status::ok;
      case LZMA_STREAM_END:
        return Status::streamEnd;
      case LZMA_MEMLIMIT_ERROR:
        // A later block asking for more than the first (the single-threaded decoders say
        // exactly how much).
        needed_ = std::max(needed_, lzma_memusage(&stream_));
        return Status::memory;
      case LZMA_BUF_ERROR:
        // No progress possible: with the input ended, the stream was cut off.
        return inputEnded ? Status::damaged : Status::ok;
      default:
        // LZMA_DATA_ERROR, LZMA_FORMAT_ERROR, LZMA_OPTIONS_ERROR (an unknown filter or
        // check), LZMA_MEM_ERROR: none of them gives data.
        return Status::damaged;
    }
  }

  std::uint64_t memoryNeeded() const override { return needed_; }

 private:
  // Reads the stream header and the first block's header, if the input holds them, and
  // the memory that block's filters need. False when more input is wanted first.
  bool blockHeaderSeen(const unsigned char* in, std::size_t inSize, bool inputEnded) {
    if (inSize < LZMA_STREAM_HEADER_SIZE + 1) {
      firstBlockSeen_ = inputEnded;  // a stream this short: the decoder says what is wrong
      return inputEnded;
    }
    firstBlockSeen_ = true;
    lzma_stream_flags flags;
    if (lzma_stream_header_decode(&flags, in) != LZMA_OK) return true;
    const unsigned char* header = in + LZMA_STREAM_HEADER_SIZE;
    if (header[0] == 0) return true;  // no block, the index at once
    const std::size_t headerSize = lzma_block_header_size_decode(header[0]);
    if (inSize < LZMA_STREAM_HEADER_SIZE + headerSize) {
      firstBlockSeen_ = inputEnded;
      return inputEnded;
    }
    lzma_filter filters[LZMA_FILTERS_MAX + 1];
    lzma_block block{};
    block.version = 1;
    block.check = flags.check;
    block.filters = filters;
    block.header_size = static_cast<std::uint32_t>(headerSize);
    if (lzma_block_header_decode(&block, nullptr, header) != LZMA_OK) return true;
    const std::uint64_t usage = lzma_raw_decoder_memusage(filters);
    if (usage != UINT64_MAX) needed_ = usage;
    lzma_filters_free(filters, nullptr);
    return true;
  }

  ArchiveFormat format_;
  bool firstBlockSeen_ = true;
  lzma_stream stream_ = LZMA_STREAM_INIT;
  std::uint64_t needed_ = 0;
};

}  // namespace

std::unique_ptr<Codec> makeLzmaCodec(ArchiveFormat format) { return std::make_unique<LzmaCodec>(format); }

}  // namespace untgz
