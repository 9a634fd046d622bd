#include "engine/tar/archive_stream.h"

namespace untgz {

std::unique_ptr<ArchiveStream> openZlibStream(const std::string& nativePath);
#ifdef ZAX_HAVE_ISAL
std::unique_ptr<ArchiveStream> openIsalStream(const std::string& nativePath);
#endif

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

}  // namespace untgz
