// Opening an archive file: its format told from its first bytes (archive_format.h) and the
// stream of the decoder for that format (archive_stream.h).
#pragma once

#include <memory>
#include <string>

#include "common/unique_resource.h"
#include "engine/tar/archive_stream.h"

namespace untgz {

// The gzip inflater; other formats have one decoder each.
enum class Inflater { zlib, isal };

// The inflater a job uses: ISA-L where the build has it, else zlib.
Inflater defaultInflater();
// False for ISA-L on a build without it.
bool inflaterAvailable(Inflater inflater);

// Opens the archive at a path the C library can open; nothing when it cannot be opened.
std::unique_ptr<ArchiveStream> openArchiveStream(const std::string& nativePath,
                                                 Inflater inflater = defaultInflater());

// The stream of a job's archive, opened once by the platform (platform::openArchiveFile),
// with the default inflater; nothing when it cannot be read.
std::unique_ptr<ArchiveStream> openJobArchive(zax::UniqueStream file);

}  // namespace untgz
