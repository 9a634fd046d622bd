// The walk: one header after the other, each handled by the function of its kind, until
// the end of the archive, the end of the input or a header that cannot be read.
#include "engine/tar/tar_reader.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/protocol.h"
#include "common/utf8.h"
#include "engine/platform/platform.h"
#include "engine/tar/block_source.h"
#include "engine/tar/header.h"
#include "engine/tar/pax_records.h"
#include "engine/tar/sparse.h"

namespace untgz {

namespace {

// Long names and pax records live in memory; anything larger is not a real archive.
constexpr std::int64_t kMaxMetadataSize = 8 * 1024 * 1024;

// What the walk keeps of a header: its block is only valid until the next read.
struct Header {
  HeaderKind kind = HeaderKind::regular;
  char typeflag = 0;
  std::int64_t size = 0;
  std::int64_t mtime = 0;
  std::int32_t mode = -1;
  std::string name;
  std::string linkName;
  // An old GNU sparse header's map as far as the header holds it, and the real size.
  bool sparseExtensions = false;
  SparseMap sparseMap;
  std::int64_t realSize = 0;
};

// What extension headers said about the member that comes next.
struct PendingExtensions {
  PaxOverrides pax;
  bool hasLongName = false;
  std::string longName;
  bool hasLongLink = false;
  std::string longLink;
  // A long name, long link or pax header was read and its member has not come yet.
  bool any = false;
};

// A member's name as the engine holds it. Bytes that are valid UTF-8 are UTF-8: what GNU
// tar, bsdtar, Python and every pax writer store (pax records are UTF-8 by definition, and
// a pax name marked hdrcharset=BINARY is unlabelled bytes like any header name). Any other
// name comes from a tool that wrote the local code page, and is read in the ANSI code page,
// as before names were read as UTF-8. On Windows the name is then UTF-8; natively it stays
// the bytes it is. The few names in a legacy code page that happen to be valid UTF-8 as
// well (two or more accented letters in a row of certain kinds) are read as UTF-8, as
// Python reads them.
void decodeName(std::string& bytes) {
  if (!zax::isValidUtf8(bytes)) bytes = platform::utf8FromAnsi(bytes);
}

// Where a step of the walk leaves it: nothing while it goes on, else how it ended.
using Step = std::optional<WalkEnd>;
constexpr Step kGoOn = std::nullopt;

class Walker {
 public:
  Walker(ReadAhead& chunks, WalkVisitor& visitor, WalkProgress& progress)
      : source_(chunks, progress), visitor_(visitor) {}

  WalkEnd run() {
    for (;;) {
      if (const Step end = nextHeader()) return *end;
    }
  }

  // After the end of the archive: reads the compressed stream to its end so that the
  // gzip layer checks its length and CRC. Writers pad the archive to whole records (GNU
  // tar's 10 KiB by default, much more with -b), so the end marker may come well before
  // the end of the stream, and damage in a member's data that inflate itself cannot see
  // (a stored block) shows only there. A stop request still ends this at once.
  WalkEnd drainCompressed() {
    for (;;) {
      if (!visitor_.beforeBlock()) return WalkEnd::stopped;
      const std::ptrdiff_t got = source_.discardChunk();
      if (got < 0) return WalkEnd::readError;
      if (got == 0) return WalkEnd::endOfArchive;
    }
  }

 private:
  Step nextHeader() {
    const unsigned char* block = nullptr;
    if (const Step end = nextBlock(block)) return endBetweenMembers(*end);
    const HeaderView view(block);
    // Only a block of zeros ends the archive (one is enough; what follows it is not read
    // as tar). Any other block here is a header, its checksum decides, and a good header
    // with an empty name is a member with an empty name.
    if (view.isEndBlock()) return WalkEnd::endOfArchive;
    Header& header = header_;
    if (!readHeader(view, header)) return WalkEnd::badHeader;
    source_.consume(1);

    switch (header.kind) {
      case HeaderKind::longName:
        return longName(header);
      case HeaderKind::longLink:
        return longLink(header);
      case HeaderKind::paxRecords:
        return paxRecords(header);
      case HeaderKind::globalRecords:
        return skipData(header.size);
      case HeaderKind::directory:
        return directory(header);
      case HeaderKind::regular:
        return regular(header);
      case HeaderKind::noData:
        return noData(header);
      case HeaderKind::oldSparse:
        return oldSparse(header);
      case HeaderKind::vendor:
        return vendor(header);
    }
    return kGoOn;
  }

  // The input may end where the next header would start: after a member's data or after
  // a member without data, as writers that leave out the end blocks do. An input that
  // held no block at all (an empty file) is no archive, and one that ends between an
  // extended header and its member has lost that member.
  WalkEnd endBetweenMembers(WalkEnd end) const {
    if (end == WalkEnd::shortRead && source_.endedCleanly() && source_.consumedAny() &&
        !pending_.any)
      return WalkEnd::endOfArchive;
    return end;
  }

  // Every field is set again, and the strings keep their memory from header to header.
  static bool readHeader(const HeaderView& view, Header& header) {
    header.mode = -1;
    header.linkName.clear();
    header.sparseExtensions = false;
    header.sparseMap.clear();
    header.realSize = 0;
    if (!view.checksumMatches()) return false;
    if (!view.size(header.size) || header.size < 0) return false;
    if (!view.mtime(header.mtime)) return false;
    header.typeflag = view.typeflag();
    header.kind = classifyTypeflag(header.typeflag);
    view.name(header.name);
    // A mode that is no number leaves the member the system's default permissions.
    std::int64_t mode = 0;
    if (view.mode(mode) && mode >= 0) header.mode = static_cast<std::int32_t>(mode & 07777);
    if (header.kind == HeaderKind::noData) view.linkName(header.linkName);
    if (header.kind == HeaderKind::oldSparse) {
      header.sparseExtensions = view.hasSparseExtensions();
      if (!view.realSize(header.realSize) ||
          !readSparseEntries(view.block(), kSparseHeaderMapOffset, kSparseHeaderEntries,
                             header.sparseMap))
        return false;
    }
    return true;
  }

  // --- Extension headers: they describe the member that follows ---------------------------

  Step longName(const Header& header) {
    std::string text;
    if (const Step end = readMetadata(header.size, text)) return end;
    pending_.longName = fieldText(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    pending_.hasLongName = true;
    pending_.any = true;
    return kGoOn;
  }

  // The link target of the next member.
  Step longLink(const Header& header) {
    std::string text;
    if (const Step end = readMetadata(header.size, text)) return end;
    pending_.longLink = fieldText(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    pending_.hasLongLink = true;
    pending_.any = true;
    return kGoOn;
  }

  Step paxRecords(const Header& header) {
    std::string text;
    if (const Step end = readMetadata(header.size, text)) return end;
    if (!parsePaxRecords(text, pending_.pax)) return WalkEnd::badHeader;
    pending_.any = true;
    return kGoOn;
  }

  // --- Headers of members --------------------------------------------------------------------

  // Directories carry no data, whatever the size says.
  Step directory(Header& header) {
    Member& member = takeMember(header);
    member.kind = Member::Kind::directory;
    visitor_.onDirectory(member);
    return kGoOn;
  }

  Step regular(Header& header) {
    PaxSparse sparse;
    Member& member = takeMember(header, &sparse);
    // GNU tar's pax sparse forms (a version other than 0.x and 1.0 is not GNU tar's, and
    // its member is read as it lies).
    if (sparse.mapInData()) {
      if (!sparse.hasRealSize) return WalkEnd::badHeader;
      return sparseMapInData(member, sparse.realSize, header.size);
    }
    if (sparse.major < 0 && (sparse.hasMap || sparse.hasRealSize)) {
      if (!sparse.hasRealSize) return WalkEnd::badHeader;
      return sparseFile(member, sparse.map, sparse.realSize, header.size);
    }
    if (!member.name.empty() && member.name.back() == '/') {
      // Old writers' "directory files": a folder.
      member.kind = Member::Kind::directory;
      visitor_.onDirectory(member);
      return oldFolderData(header.size);
    }
    member.kind = Member::Kind::file;
    member.size = header.size;
    visitor_.onFileBegin(member);
    const Step end = fileData(header.size, [this](const unsigned char* bytes, std::size_t length) {
      visitor_.onFileData(bytes, length);
    });
    visitor_.onFileEnd(!end);
    return end;
  }

  // Old writers gave such folders a size and no data, as bsdtar and Python's tarfile read
  // them (taking the size as data would swallow the next member); a few wrote data after
  // them. The block after the header tells which: a header, or the end of the archive,
  // means the folder has no data; anything else is its data, passed over by the size.
  Step oldFolderData(std::int64_t size) {
    if (size == 0) return kGoOn;
    const unsigned char* block = nullptr;
    // Where the input ends or fails here, reading the next header says how.
    if (nextBlock(block)) return kGoOn;
    const HeaderView view(block);
    if (view.isEndBlock() || view.checksumMatches()) return kGoOn;
    return skipData(size);
  }

  // Links, devices and FIFOs: nothing follows the header, whatever the size says.
  Step noData(Header& header) {
    Member& member = takeMember(header);
    switch (header.typeflag) {
      case '1':
        member.kind = Member::Kind::hardLink;
        visitor_.onLink(member);
        break;
      case '2':
        member.kind = Member::Kind::symbolicLink;
        visitor_.onLink(member);
        break;
      default:
        member.kind = Member::Kind::special;
        visitor_.onSpecial(member);
        break;
    }
    return kGoOn;
  }

  // A vendor's extension: its data is passed over by its size.
  Step vendor(Header& header) {
    takeMember(header);
    return skipData(header.size);
  }

  // --- Sparse files --------------------------------------------------------------------------

  // Old GNU form: the map goes on in extension blocks between the header and the data.
  Step oldSparse(Header& header) {
    Member& member = takeMember(header);
    for (bool more = header.sparseExtensions; more;) {
      const unsigned char* block = nullptr;
      if (const Step end = nextBlock(block)) return end;
      if (!readSparseEntries(block, 0, kSparseExtensionEntries, header.sparseMap))
        return WalkEnd::badHeader;
      more = sparseExtensionContinues(block);
      source_.consume(1);
    }
    return sparseFile(member, header.sparseMap, header.realSize, header.size);
  }

  // GNU sparse 1.0: the map fills the first blocks of the member's data.
  Step sparseMapInData(Member& member, std::int64_t realSize, std::int64_t storedSize) {
    SparseMapText text;
    for (SparseMapText::State state = SparseMapText::State::needMore;
         state == SparseMapText::State::needMore;) {
      // The map is part of the member: it may not run on past its data.
      if (storedSize < static_cast<std::int64_t>(kBlockSize)) return WalkEnd::badHeader;
      const unsigned char* block = nullptr;
      if (const Step end = nextBlock(block)) return end;
      state = text.feed(block, kBlockSize);
      source_.consume(1);
      storedSize -= static_cast<std::int64_t>(kBlockSize);
      if (state == SparseMapText::State::malformed) return WalkEnd::badHeader;
    }
    return sparseFile(member, text.map(), realSize, storedSize);
  }

  // The file of a sparse member: its real size, its stored bytes where the map puts them and
  // holes elsewhere. A map that does not fit the member ends the walk before the file
  // begins, since what it would make of the data cannot be trusted.
  Step sparseFile(Member& member, const SparseMap& map, std::int64_t realSize,
                  std::int64_t storedSize) {
    if (!sparseMapFits(map, realSize, storedSize)) return WalkEnd::badHeader;
    member.kind = Member::Kind::file;
    member.size = realSize;
    visitor_.onFileBegin(member);
    struct Sink {
      WalkVisitor& visitor;
      void data(const unsigned char* bytes, std::size_t length) { visitor.onFileData(bytes, length); }
      void hole(std::int64_t length) { visitor.onFileHole(length); }
    } sink{visitor_};
    SparseExpander<Sink> expander(map, realSize, sink);
    const Step end = fileData(storedSize, [&](const unsigned char* bytes, std::size_t length) {
      expander.feed(bytes, length);
    });
    if (!end) expander.finish();
    visitor_.onFileEnd(!end);
    return end;
  }

  // The member a header describes, with what extension headers said before it (a pax size
  // also replaces the header's); the extensions are used up. GNU tar's sparse forms put a
  // placeholder in the path and the real name in a record of their own.
  //
  // The member is the walker's own, written again for each header: its strings trade
  // places with the header's and the extensions' (never copied: a long name may be
  // megabytes), so that names of any length cost no allocation from member to member.
  Member& takeMember(Header& header, PaxSparse* sparse = nullptr) {
    Member& member = member_;
    member.kind = Member::Kind::other;
    member.size = 0;
    member.name.swap(pending_.pax.sparse.hasName ? pending_.pax.sparse.name
                     : pending_.pax.hasPath      ? pending_.pax.path
                     : pending_.hasLongName      ? pending_.longName
                                                 : header.name);
    decodeName(member.name);
    member.mtime = pending_.pax.hasMtime ? pending_.pax.mtime : header.mtime;
    member.mtimeNanoseconds = pending_.pax.hasMtime ? pending_.pax.mtimeNanoseconds : 0;
    member.mode = header.mode;
    member.typeflag = header.typeflag;
    member.linkName.swap(pending_.pax.hasLinkPath ? pending_.pax.linkPath
                         : pending_.hasLongLink   ? pending_.longLink
                                                  : header.linkName);
    decodeName(member.linkName);
    if (pending_.pax.hasSize) header.size = pending_.pax.size;
    if (sparse) *sparse = std::move(pending_.pax.sparse);
    pending_ = PendingExtensions();
    return member;
  }

  // --- Blocks --------------------------------------------------------------------------------

  // One block at the front of the source, after the before-block question.
  Step nextBlock(const unsigned char*& block) {
    if (!visitor_.beforeBlock()) return WalkEnd::stopped;
    if (source_.ready() == 0) return source_.failed() ? WalkEnd::readError : WalkEnd::shortRead;
    block = source_.block();
    return kGoOn;
  }

  // Hands `size` bytes of member data to `deliver(bytes, length)`, block run by block run.
  template <class Deliver>
  Step fileData(std::int64_t size, Deliver&& deliver) {
    std::int64_t remaining = size;
    while (remaining > 0) {
      const unsigned char* first = nullptr;
      if (const Step end = nextBlock(first)) return end;
      // Further whole blocks already in memory go in the same call, each still asked about.
      const std::int64_t blocksWanted = (remaining + kBlockSize - 1) / kBlockSize;
      std::size_t blocks = 1;
      const std::size_t ready = source_.ready();
      while (blocks < ready && static_cast<std::int64_t>(blocks) < blocksWanted &&
             visitor_.beforeBlock())
        ++blocks;
      const std::int64_t bytes = std::min<std::int64_t>(remaining, blocks * kBlockSize);
      deliver(first, static_cast<std::size_t>(bytes));
      source_.consume(blocks);
      remaining -= bytes;
      if (remaining > 0 && blocks < ready && static_cast<std::int64_t>(blocks) < blocksWanted)
        return WalkEnd::stopped;
    }
    return kGoOn;
  }

  Step skipData(std::int64_t size) {
    for (std::int64_t blocks = (size + kBlockSize - 1) / kBlockSize; blocks > 0; --blocks) {
      const unsigned char* block = nullptr;
      if (const Step end = nextBlock(block)) return end;
      source_.consume(1);
    }
    return kGoOn;
  }

  Step readMetadata(std::int64_t size, std::string& text) {
    if (size > kMaxMetadataSize) return WalkEnd::badHeader;
    text.clear();
    text.reserve(static_cast<std::size_t>(size));
    for (std::int64_t remaining = size; remaining > 0;) {
      const unsigned char* block = nullptr;
      if (const Step end = nextBlock(block)) return end;
      const auto bytes = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kBlockSize));
      text.append(reinterpret_cast<const char*>(block), bytes);
      source_.consume(1);
      remaining -= static_cast<std::int64_t>(bytes);
    }
    return kGoOn;
  }

  BlockSource source_;
  WalkVisitor& visitor_;
  PendingExtensions pending_;
  // The header and member in hand, kept from one to the next for their strings' memory.
  Header header_;
  Member member_;
};

}  // namespace

WalkEnd walkArchive(ArchiveStream& stream, WalkVisitor& visitor, WalkProgress& progress,
                    bool readAhead) {
  progress.bytesConsumed.store(0);
  ReadAhead chunks(stream, readAhead);
  Walker walker(chunks, visitor, progress);
  const WalkEnd end = walker.run();
  // A plain file is not read past the end of the archive.
  if (end == WalkEnd::endOfArchive && stream.compressed()) return walker.drainCompressed();
  return end;
}

std::int32_t finishWalk(ArchiveStream& stream, WalkEnd end) {
  // Damage counts where the walk met it, or at the close of a stream read to its end: the
  // read-ahead may have found some past the point where a walk was stopped or refused a
  // header, which the walk never read.
  const bool closed = stream.close();
  if (end == WalkEnd::readError || (end == WalkEnd::endOfArchive && !closed))
    return protocol::kResultDamaged;
  if (end == WalkEnd::shortRead || end == WalkEnd::badHeader) return protocol::kResultNotATar;
  return protocol::kResultOk;
}

}  // namespace untgz
