// bzip2 through libbz2. Each stream's block CRCs and its combined CRC are checked by the
// library; a stream needs at most about 3.6 MiB (900k blocks), far below the limit.
#include <bzlib.h>

#include <limits>

#include "engine/tar/decoder_stream.h"

namespace untgz {

namespace {

class Bzip2Codec : public Codec {
 public:
  ~Bzip2Codec() override { end(); }

  bool start() override {
    end();
    stream_ = bz_stream();
    started_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
    return started_;
  }

  Status decode(const unsigned char*& in, std::size_t& inSize, unsigned char*& out,
                std::size_t& outSize, bool inputEnded) override {
    // libbz2 counts in unsigned int.
    constexpr std::size_t kMost = std::numeric_limits<unsigned>::max();
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
    stream_.avail_in = static_cast<unsigned>(std::min(inSize, kMost));
    stream_.next_out = reinterpret_cast<char*>(out);
    stream_.avail_out = static_cast<unsigned>(std::min(outSize, kMost));
    const unsigned inGiven = stream_.avail_in, outGiven = stream_.avail_out;
    const int result = BZ2_bzDecompress(&stream_);
    in += inGiven - stream_.avail_in;
    inSize -= inGiven - stream_.avail_in;
    out += outGiven - stream_.avail_out;
    outSize -= outGiven - stream_.avail_out;
    if (result == BZ_STREAM_END) return Status::streamEnd;
    if (result != BZ_OK) return Status::damaged;
    // With no input left and none to come, a stream that has not ended was cut off
    // (unless the output was what ran out).
    if (inputEnded && inSize == 0 && outSize > 0) return Status::damaged;
    return Status::ok;
  }

 private:
  void end() {
    if (started_) BZ2_bzDecompressEnd(&stream_);
    started_ = false;
  }

  bz_stream stream_ = bz_stream();
  bool started_ = false;
};

}  // namespace

std::unique_ptr<Codec> makeBzip2Codec() { return std::make_unique<Bzip2Codec>(); }

}  // namespace untgz
