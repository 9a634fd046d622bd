#include "engine/tar/archive_stream.h"

#include <functional>

#include "engine/platform/platform.h"
#include "engine/tar/archive_format.h"
#include "engine/tar/decoder_stream.h"
#include "engine/tar/inflaters.h"

namespace untgz {

namespace {

// A file of another kind: nothing is read from it.
class RefusedStream : public ArchiveStream {
 public:
  explicit RefusedStream(const char* what) : what_(what) {}
  std::ptrdiff_t read(unsigned char*, std::size_t) override { return -1; }
  std::int64_t archivePosition() const override { return 0; }
  bool compressed() const override { return false; }
  bool close() override { return false; }
  StreamRefusal refusal() const override { return {StreamRefusal::Kind::otherKind, what_}; }

 private:
  std::string what_;
};

// Tells the file's format from its first bytes and hands it to that format's decoder;
// gzip and plain files go to the inflater asked for (zlib's gzip layer opens the file anew
// through `openGzip`, as it reads both).
std::unique_ptr<ArchiveStream> openFile(std::FILE* file, Inflater inflater,
                                        const std::function<gzFile()>& openGzip) {
  if (!file) return nullptr;
  unsigned char head[kSniffSize];
  const std::size_t got = std::fread(head, 1, sizeof head, file);
  if (std::ferror(file) || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return nullptr;
  }
  const SniffedFormat sniffed = sniffArchive(head, got);
  switch (sniffed.format) {
    case ArchiveFormat::other:
      std::fclose(file);
      return std::make_unique<RefusedStream>(sniffed.what);
    case ArchiveFormat::plain:
    case ArchiveFormat::gzip:
      break;
    default:
      return decoderStreamOf(file, sniffed.format);
  }
#ifdef ZAX_HAVE_ISAL
  if (inflater == Inflater::isal) return isalStreamOf(file);
#endif
  std::fclose(file);
  if (inflater != Inflater::zlib) return nullptr;
  gzFile gz = openGzip();
  return gz ? zlibStreamOf(gz) : nullptr;
}

}  // namespace

Inflater defaultInflater() { return inflaterAvailable(Inflater::isal) ? Inflater::isal : Inflater::zlib; }

bool inflaterAvailable(Inflater inflater) {
#ifdef ZAX_HAVE_ISAL
  (void)inflater;
  return true;
#else
  return inflater == Inflater::zlib;
#endif
}

std::unique_ptr<ArchiveStream> openArchiveStream(const std::string& nativePath, Inflater inflater) {
  return openFile(std::fopen(nativePath.c_str(), "rb"), inflater,
                  [&nativePath] { return gzopen(nativePath.c_str(), "rb"); });
}

std::unique_ptr<ArchiveStream> openJobArchive(const std::string& enginePath) {
  return openFile(platform::openForReading(enginePath), defaultInflater(),
                  [&enginePath] { return platform::openGzip(enginePath); });
}

}  // namespace untgz
