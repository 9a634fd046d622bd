// The archive stream through Intel's ISA-L inflater, read the way zlib's gzip file layer
// reads: gzip data when the file starts with the gzip magic, else the file as it is;
// members one after the other; after a member, bytes that do not start another one end the
// stream without complaint; a cut-off member or a wrong CRC or length is damage.
#include <isa-l/igzip_lib.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <memory>

#include "engine/tar/inflaters.h"

namespace untgz {

namespace {

constexpr std::size_t kInputBuffer = 128 * 1024;
constexpr unsigned char kGzipMagic[2] = {0x1f, 0x8b};

class IsalStream : public ArchiveStream {
 public:
  explicit IsalStream(zax::UniqueStream file)
      // Neither is zeroed: isal_inflate_init sets what the inflater reads, and the input is
      // read before it is used.
      : file_(std::move(file)), input_(new unsigned char[kInputBuffer]), state_(new inflate_state) {
    // Our own buffer is the only one: the C library's would copy every byte once more.
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    isal_inflate_init(state_.get());
  }

  std::ptrdiff_t read(unsigned char* into, std::size_t capacity) override {
    // Bytes inflated before damage was found went out with the call that found it.
    if (failed_) return -1;
    if (finished_ || capacity == 0) return 0;
    return mode_ == Mode::plain ? readPlain(into, capacity) : inflate(into, capacity);
  }

  std::int64_t archivePosition() const override { return fileRead_ - static_cast<std::int64_t>(available()); }

  bool compressed() const override { return mode_ == Mode::gzip; }

  // Reads the start of the file to tell gzip data from a file read as it is.
  void decide() {
    mode_ = Mode::gzip;  // so that refill hands the buffer to the inflater
    refill();
    if (atMagic()) {
      startMember();
    } else {
      mode_ = Mode::plain;
    }
  }

  bool close() override {
    return file_.close() && !failed_ && !readError_;
  }

 private:
  enum class Mode { plain, gzip };

  std::size_t available() const {
    return mode_ == Mode::gzip ? state_->avail_in : static_cast<std::size_t>(end_ - begin_);
  }

  // Reads more of the file after what is still unused, which moves to the front.
  void refill() {
    const std::size_t unused = available();
    const unsigned char* from = mode_ == Mode::gzip ? state_->next_in : input_.get() + begin_;
    if (unused > 0) std::memmove(input_.get(), from, unused);
    const std::size_t got = inputEnded_ ? 0 : std::fread(input_.get() + unused, 1, kInputBuffer - unused, file_.get());
    if (got < kInputBuffer - unused) {
      inputEnded_ = true;
      readError_ = std::ferror(file_.get()) != 0;
    }
    fileRead_ += static_cast<std::int64_t>(got);
    begin_ = 0;
    end_ = unused + got;
    state_->next_in = input_.get();
    state_->avail_in = static_cast<std::uint32_t>(end_);
  }

  bool atMagic() const {
    return state_->avail_in >= 2 && std::memcmp(state_->next_in, kGzipMagic, 2) == 0;
  }

  void startMember() {
    unsigned char* next = state_->next_in;
    const std::uint32_t avail = state_->avail_in;
    isal_inflate_reset(state_.get());
    state_->crc_flag = ISAL_GZIP;  // the header is read, the CRC and length checked
    state_->next_in = next;
    state_->avail_in = avail;
  }

  std::ptrdiff_t readPlain(unsigned char* into, std::size_t capacity) {
    std::size_t done = std::min(capacity, end_ - begin_);
    std::memcpy(into, input_.get() + begin_, done);
    begin_ += done;
    if (done < capacity && !inputEnded_) {
      const std::size_t got = std::fread(into + done, 1, capacity - done, file_.get());
      if (got < capacity - done) {
        inputEnded_ = true;
        readError_ = std::ferror(file_.get()) != 0;
      }
      fileRead_ += static_cast<std::int64_t>(got);
      done += got;
    }
    if (done == 0) finished_ = true;
    return static_cast<std::ptrdiff_t>(done);
  }

  std::ptrdiff_t inflate(unsigned char* into, std::size_t capacity) {
    state_->next_out = into;
    state_->avail_out = static_cast<std::uint32_t>(capacity);
    while (state_->avail_out > 0) {
      if (state_->avail_in == 0 && !inputEnded_) refill();
      const std::uint32_t outBefore = state_->avail_out;
      const std::uint32_t inBefore = state_->avail_in;
      if (isal_inflate(state_.get()) != ISAL_DECOMP_OK) {
        failed_ = true;
        break;
      }
      if (state_->block_state == ISAL_BLOCK_FINISH) {
        // The member is whole; another may follow.
        if (state_->avail_in < 2 && !inputEnded_) refill();
        if (!atMagic()) {
          // Trailing bytes: passed over, as the gzip file layer does.
          state_->avail_in = 0;
          finished_ = true;
          break;
        }
        startMember();
        continue;
      }
      // Nothing moved: with no more input the member was cut off (a full buffer that the
      // inflater does not take is no stream either).
      if (state_->avail_out == outBefore && state_->avail_in == inBefore &&
          (inputEnded_ || state_->avail_in == kInputBuffer)) {
        failed_ = true;
        break;
      }
      if (state_->avail_out == outBefore && state_->avail_in == inBefore) refill();
    }
    const std::size_t done = capacity - state_->avail_out;
    return failed_ && done == 0 ? -1 : static_cast<std::ptrdiff_t>(done);
  }

  zax::UniqueStream file_;
  std::unique_ptr<unsigned char[]> input_;
  std::unique_ptr<inflate_state> state_;
  Mode mode_ = Mode::plain;
  std::size_t begin_ = 0, end_ = 0;  // unused input of a plain file
  std::int64_t fileRead_ = 0;
  bool inputEnded_ = false, readError_ = false;
  bool failed_ = false, finished_ = false;
};

}  // namespace

std::unique_ptr<ArchiveStream> isalStreamOf(zax::UniqueStream file) {
  auto stream = std::make_unique<IsalStream>(std::move(file));
  stream->decide();
  return stream;
}

}  // namespace untgz
