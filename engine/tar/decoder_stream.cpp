// The loop that feeds a codec from the archive file: its own input buffer (the C library's
// is turned off, so no byte is copied twice), the position in the file that the data handed
// out came from, and what happens between streams.
#include "engine/tar/decoder_stream.h"

#include <cstring>
#include <string>

#include "common/unique_resource.h"

namespace untgz {

namespace {

constexpr std::size_t kInputBuffer = 128 * 1024;
// Between streams the next one's signature is looked at: at most this many bytes of it.
constexpr std::size_t kSignatureSize = 8;

std::string mebibytes(std::uint64_t bytes) {
  return std::to_string((bytes + (std::uint64_t{1} << 20) - 1) >> 20) + " MiB";
}

class DecoderStream : public ArchiveStream {
 public:
  DecoderStream(zax::UniqueStream file, ArchiveFormat format, std::unique_ptr<Codec> codec)
      : file_(std::move(file)), format_(format), codec_(std::move(codec)), input_(new unsigned char[kInputBuffer]) {
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    failed_ = !codec_->start();
  }

  std::ptrdiff_t read(unsigned char* into, std::size_t capacity) override {
    // Bytes decoded before damage was found went out with the call that found it.
    if (failed_) return -1;
    if (finished_ || capacity == 0) return 0;
    unsigned char* out = into;
    std::size_t outSize = capacity;
    while (outSize > 0 && !failed_ && !finished_) {
      if (size_ == 0 && !inputEnded_) refill();
      const unsigned char* in = input_.get() + begin_;
      const std::size_t inBefore = size_, outBefore = outSize;
      const Codec::Status status = codec_->decode(in, size_, out, outSize, inputEnded_);
      begin_ = static_cast<std::size_t>(in - input_.get());
      switch (status) {
        case Codec::Status::streamEnd:
          nextStream();
          break;
        case Codec::Status::damaged:
          failed_ = true;
          break;
        case Codec::Status::memory:
          failed_ = true;
          refusal_.kind = StreamRefusal::Kind::memory;
          refusal_.what = mebibytes(codec_->memoryNeeded()) + " needed, the limit is " +
                          mebibytes(kDecoderMemoryLimit);
          break;
        case Codec::Status::ok:
          if (size_ != inBefore || outSize != outBefore) break;
          // Nothing moved: the codec wants more input than there is. With none to come the
          // stream was cut off; a full buffer it does not take is no stream either.
          if (inputEnded_ || size_ == kInputBuffer) {
            failed_ = true;
          } else {
            refill();
          }
          break;
      }
    }
    const std::size_t done = capacity - outSize;
    return failed_ && done == 0 ? -1 : static_cast<std::ptrdiff_t>(done);
  }

  std::int64_t archivePosition() const override { return fileRead_ - static_cast<std::int64_t>(size_); }

  bool compressed() const override { return true; }

  bool close() override { return file_.close() && !failed_ && !readError_; }

  StreamRefusal refusal() const override { return refusal_; }

 private:
  // Reads more of the file after what is still unused, which moves to the front.
  void refill() {
    if (size_ > 0 && begin_ > 0) std::memmove(input_.get(), input_.get() + begin_, size_);
    begin_ = 0;
    if (inputEnded_) return;
    const std::size_t got = std::fread(input_.get() + size_, 1, kInputBuffer - size_, file_.get());
    if (got < kInputBuffer - size_) {
      inputEnded_ = true;
      readError_ = std::ferror(file_.get()) != 0;
    }
    fileRead_ += static_cast<std::int64_t>(got);
    size_ += got;
  }

  // After a whole stream: another one, or the end. xz streams may be followed by zero bytes
  // of stream padding, which are passed over.
  void nextStream() {
    for (;;) {
      if (size_ < kSignatureSize && !inputEnded_) refill();
      if (format_ != ArchiveFormat::xz) break;
      std::size_t zeros = 0;
      while (zeros < size_ && input_[begin_ + zeros] == 0) ++zeros;
      begin_ += zeros;
      size_ -= zeros;
      if (size_ > 0 || inputEnded_) break;
    }
    if (!startsStream(format_, input_.get() + begin_, size_)) {
      // Trailing bytes, passed over as the gzip readers pass them over.
      begin_ += size_;
      size_ = 0;
      finished_ = true;
      return;
    }
    failed_ = !codec_->start();
  }

  zax::UniqueStream file_;
  ArchiveFormat format_;
  std::unique_ptr<Codec> codec_;
  std::unique_ptr<unsigned char[]> input_;
  std::size_t begin_ = 0, size_ = 0;  // the unused input
  std::int64_t fileRead_ = 0;
  bool inputEnded_ = false, readError_ = false;
  bool failed_ = false, finished_ = false;
  StreamRefusal refusal_;
};

}  // namespace

std::unique_ptr<ArchiveStream> decoderStreamOf(zax::UniqueStream file, ArchiveFormat format) {
  std::unique_ptr<Codec> codec;
  switch (format) {
    case ArchiveFormat::bzip2:
      codec = makeBzip2Codec();
      break;
    case ArchiveFormat::xz:
    case ArchiveFormat::lzma:
    case ArchiveFormat::lzip:
      codec = makeLzmaCodec(format);
      break;
    case ArchiveFormat::zstd:
      codec = makeZstdCodec();
      break;
    default:
      return nullptr;
  }
  return std::make_unique<DecoderStream>(std::move(file), format, std::move(codec));
}

}  // namespace untgz
