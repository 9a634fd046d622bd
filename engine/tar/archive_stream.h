// Where the tar stream comes from: the archive file, inflated when it holds gzip data and
// read as it is otherwise, whatever its name. The walk sees only this interface, so it does
// not know which inflater runs: zlib everywhere, or Intel's ISA-L where the build has it
// (it inflates several times faster).
//
// Both inflaters read the same way: concatenated gzip members are one stream; bytes after
// a member that do not start another one (trailing garbage) end the stream quietly; a
// damaged or cut-off member, a wrong CRC or a wrong length is damage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace untgz {

class ArchiveStream {
 public:
  virtual ~ArchiveStream() = default;

  // Reads up to `capacity` bytes of the tar stream into `into`: the count, 0 at the end
  // of the stream, -1 once the compressed data is found damaged (and from then on).
  virtual std::ptrdiff_t read(unsigned char* into, std::size_t capacity) = 0;
  // Bytes of the archive file that the data read so far came from.
  virtual std::int64_t archivePosition() const = 0;
  // True for gzip data, false for a file read as it is.
  virtual bool compressed() const = 0;
  // True when no damage was found and the file closed cleanly.
  virtual bool close() = 0;
};

enum class Inflater { zlib, isal };

// The inflater a job uses: ISA-L where the build has it, else zlib.
Inflater defaultInflater();
// False for ISA-L on a build without it.
bool inflaterAvailable(Inflater inflater);

// Opens the archive at a path the C library can open; nothing when it cannot be opened.
std::unique_ptr<ArchiveStream> openArchiveStream(const std::string& nativePath,
                                                 Inflater inflater = defaultInflater());

// Opens a job's archive, at a path in the engine's form, with the default inflater (zlib
// opens it through the platform, with the wide path on Windows); nothing when it cannot be
// opened.
std::unique_ptr<ArchiveStream> openJobArchive(const std::string& enginePath);

}  // namespace untgz
