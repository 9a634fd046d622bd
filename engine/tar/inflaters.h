// The gzip archive stream's implementations, one per inflater; archive_stream.cpp picks one.
#pragma once

#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "common/unique_resource.h"
#include "engine/tar/archive_stream.h"

namespace untgz {

// zlib's gzip file, closed by its owner; the close says whether the last read was clean.
struct GzipFileTraits {
  using Handle = gzFile;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle file) { return gzclose(file) == Z_OK; }
};
using UniqueGzipFile = zax::UniqueResource<GzipFileTraits>;

// zlib's gzip file layer (zlib_stream.cpp): an archive at a native path, or one the
// platform opened (with the wide path on Windows).
std::unique_ptr<ArchiveStream> openZlibStream(const std::string& nativePath);
std::unique_ptr<ArchiveStream> zlibStreamOf(UniqueGzipFile file);

#ifdef ZAX_HAVE_ISAL
// ISA-L (isal_stream.cpp), on builds that have it: an open archive file, which it owns.
std::unique_ptr<ArchiveStream> isalStreamOf(zax::UniqueStream file);
#endif

}  // namespace untgz
