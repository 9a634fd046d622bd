// The archive stream through zlib's gzip file layer, which passes a file that is not gzip
// data through as it is and reads concatenated members as one stream.
#include <zlib.h>

#include "engine/tar/inflaters.h"

#include <utility>

namespace untgz {

namespace {

// The gzip layer's input buffer: large reads keep inflate busy instead of the system call.
constexpr unsigned kInputBuffer = 128 * 1024;

class ZlibStream : public ArchiveStream {
 public:
  explicit ZlibStream(UniqueGzipFile file) : file_(std::move(file)) {
    gzbuffer(file_.get(), kInputBuffer);
    // Asked once, here: the answer never changes, and a read-ahead thread may be inside
    // gzread when the walk wants to know.
    compressed_ = gzdirect(file_.get()) == 0;
  }

  std::ptrdiff_t read(unsigned char* into, std::size_t capacity) override {
    if (failed_) return -1;
    std::size_t done = 0;
    // gzread takes an unsigned count; the callers' chunks are far below its limit anyway.
    while (done < capacity) {
      const int got = gzread(file_.get(), into + done, static_cast<unsigned>(capacity - done));
      if (got < 0) {
        // The bytes before the damage go out first; the next call reports it.
        failed_ = true;
        return done > 0 ? static_cast<std::ptrdiff_t>(done) : -1;
      }
      if (got == 0) {
        // The gzip layer ends a stream cut off inside a member quietly, as if it were its
        // end, and only says so in its error state: that is damage.
        int error = Z_OK;
        gzerror(file_.get(), &error);
        if (error == Z_BUF_ERROR) {
          failed_ = true;
          return done > 0 ? static_cast<std::ptrdiff_t>(done) : -1;
        }
        break;
      }
      done += static_cast<std::size_t>(got);
    }
    return static_cast<std::ptrdiff_t>(done);
  }

  std::int64_t archivePosition() const override {
    // Input that inflate has used, not what is buffered ahead of it.
    const z_off_t position = gzoffset(file_.get());
    return position > 0 ? position : 0;
  }

  bool compressed() const override { return compressed_; }

  bool close() override {
    return file_.close() && !failed_;
  }

 private:
  UniqueGzipFile file_;
  bool compressed_ = false;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<ArchiveStream> zlibStreamOf(UniqueGzipFile file) {
  return std::make_unique<ZlibStream>(std::move(file));
}

std::unique_ptr<ArchiveStream> openZlibStream(const std::string& nativePath) {
  UniqueGzipFile file(gzopen(nativePath.c_str(), "rb"));
  if (!file) return nullptr;
  return zlibStreamOf(std::move(file));
}

}  // namespace untgz
