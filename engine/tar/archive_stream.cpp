#include "engine/tar/archive_stream.h"

#include "engine/platform/platform.h"
#include "engine/tar/inflaters.h"

namespace untgz {

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
#ifdef ZAX_HAVE_ISAL
  if (inflater == Inflater::isal) return openIsalStream(nativePath);
#endif
  if (inflater == Inflater::zlib) return openZlibStream(nativePath);
  return nullptr;
}

std::unique_ptr<ArchiveStream> openJobArchive(const std::string& enginePath) {
  if (defaultInflater() == Inflater::isal) {
    const auto path = platform::nativePath(enginePath);
    return path ? openArchiveStream(*path, Inflater::isal) : nullptr;
  }
  gzFile file = platform::openGzip(enginePath);
  return file ? zlibStreamOf(file) : nullptr;
}

}  // namespace untgz
