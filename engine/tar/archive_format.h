// What kind of data an archive file holds, told from its first bytes, never from its name:
// one of the compressions the engine reads, a tar stream as it is, or data of another kind
// (another archive format, a compression the engine does not read), which is named so that
// the user learns what the file is.
#pragma once

#include <cstddef>

namespace untgz {

enum class ArchiveFormat { plain, gzip, bzip2, xz, lzma, lzip, zstd, other };

struct SniffedFormat {
  ArchiveFormat format = ArchiveFormat::plain;
  // For `other`: what the data is, as it ends "The file holds ..." ("a zip archive").
  const char* what = nullptr;
};

// How many of the file's first bytes sniffArchive looks at, at most.
inline constexpr std::size_t kSniffSize = 512;

// Anything not recognised is plain: the tar reader then says whether it is a tar.
SniffedFormat sniffArchive(const unsigned char* head, std::size_t size);

// True when the bytes start a stream of that compression (the check made between
// concatenated streams). Never true for plain, other or lzma (whose files hold one stream).
bool startsStream(ArchiveFormat format, const unsigned char* bytes, std::size_t size);

}  // namespace untgz
