#include "engine/tar/archive_open.h"

#include <functional>
#include <utility>

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
// through `openGzip`, which is given the open file, as it reads both).
std::unique_ptr<ArchiveStream> openFile(zax::UniqueStream file, Inflater inflater,
                                        const std::function<gzFile(std::FILE*)>& openGzip) {
  if (!file) return nullptr;
  unsigned char head[kSniffSize];
  const std::size_t got = std::fread(head, 1, sizeof head, file.get());
  if (std::ferror(file.get()) || std::fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;
  const SniffedFormat sniffed = sniffArchive(head, got);
  switch (sniffed.format) {
    case ArchiveFormat::other:
      return std::make_unique<RefusedStream>(sniffed.what);
    case ArchiveFormat::plain:
    case ArchiveFormat::gzip:
      break;
    default:
      return decoderStreamOf(std::move(file), sniffed.format);
  }
#ifdef ZAX_HAVE_ISAL
  if (inflater == Inflater::isal) return isalStreamOf(std::move(file));
#endif
  if (inflater != Inflater::zlib) return nullptr;
  UniqueGzipFile gz(openGzip(file.get()));
  file.reset();
  return gz ? zlibStreamOf(std::move(gz)) : nullptr;
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
  return openFile(zax::UniqueStream(std::fopen(nativePath.c_str(), "rb")), inflater,
                  [&nativePath](std::FILE*) { return gzopen(nativePath.c_str(), "rb"); });
}

std::unique_ptr<ArchiveStream> openJobArchive(zax::UniqueStream file) {
  return openFile(std::move(file), defaultInflater(), platform::gzipOf);
}

}  // namespace untgz
