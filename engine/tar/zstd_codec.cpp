// zstd through libzstd. Frames one after the other are one stream; skippable frames are
// passed over by the library; a frame's content checksum, where the writer put one, is
// checked. A frame whose window is larger than kDecoderMemoryLimit (zstd --long=31, or
// levels past 19 with --ultra) is refused with the window it asks for.
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader, to name a frame's window
#include <zstd.h>
#include <zstd_errors.h>

#include "engine/tar/decoder_stream.h"

namespace untgz {

namespace {

// The largest window, as a power of two, that fits the limit.
constexpr int windowLogMax() {
  int log = 10;
  while ((std::uint64_t{1} << (log + 1)) <= kDecoderMemoryLimit) ++log;
  return log;
}

class ZstdCodec : public Codec {
 public:
  ~ZstdCodec() override { ZSTD_freeDCtx(context_); }

  bool start() override {
    if (!context_) {
      context_ = ZSTD_createDCtx();
      if (!context_ || ZSTD_isError(ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, windowLogMax())))
        return false;
    }
    ZSTD_DCtx_reset(context_, ZSTD_reset_session_only);
    atFrameStart_ = true;
    return true;
  }

  Status decode(const unsigned char*& in, std::size_t& inSize, unsigned char*& out,
                std::size_t& outSize, bool inputEnded) override {
    if (atFrameStart_) {
      // The header says what the frame's window needs; read it before the library does,
      // so that a refusal can say how much.
      ZSTD_frameHeader header;
      const std::size_t wanted = ZSTD_getFrameHeader(&header, in, inSize);
      if (ZSTD_isError(wanted)) {
        // A 32-bit build's library refuses windows past 1 GiB at the header already.
        if (ZSTD_getErrorCode(wanted) != ZSTD_error_frameParameter_windowTooLarge) return Status::damaged;
        window_ = windowOf(in, inSize);
        return Status::memory;
      }
      if (wanted > 0) return inputEnded ? Status::damaged : Status::ok;  // more bytes, please
      if (header.frameType == ZSTD_frame) window_ = header.windowSize;
      atFrameStart_ = false;
    }
    ZSTD_inBuffer input{in, inSize, 0};
    ZSTD_outBuffer output{out, outSize, 0};
    const std::size_t result = ZSTD_decompressStream(context_, &output, &input);
    in += input.pos;
    inSize -= input.pos;
    out += output.pos;
    outSize -= output.pos;
    if (ZSTD_isError(result)) {
      if (ZSTD_getErrorCode(result) == ZSTD_error_frameParameter_windowTooLarge) return Status::memory;
      return Status::damaged;
    }
    if (result == 0) {
      // A frame (or a skippable one) is whole.
      atFrameStart_ = true;
      return Status::streamEnd;
    }
    // The frame wants more input than there is to come: it was cut off. Output the library
    // still holds is flushed first, while the output has room.
    if (inputEnded && inSize == 0 && input.pos == 0 && output.pos == 0 && outSize > 0) return Status::damaged;
    return Status::ok;
  }

  std::uint64_t memoryNeeded() const override { return window_; }

 private:
  // The window a frame header's window descriptor gives (the frame's first bytes: the
  // magic, the header descriptor, then the window descriptor unless the frame is a single
  // segment); 0 when the bytes do not say.
  static std::uint64_t windowOf(const unsigned char* frame, std::size_t size) {
    if (size < 6 || (frame[4] & 0x20) != 0) return 0;
    const unsigned exponent = frame[5] >> 3, mantissa = frame[5] & 7;
    const std::uint64_t base = std::uint64_t{1} << (10 + exponent);
    return base + base / 8 * mantissa;
  }

  ZSTD_DCtx* context_ = nullptr;
  bool atFrameStart_ = true;
  std::uint64_t window_ = 0;
};

}  // namespace

std::unique_ptr<Codec> makeZstdCodec() { return std::make_unique<ZstdCodec>(); }

}  // namespace untgz
