#include "engine/tar/tar_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "common/protocol.h"

namespace untgz {

namespace {

// Header field offsets and widths.
constexpr std::size_t nameOffset = 0, nameWidth = 100;
constexpr std::size_t sizeOffset = 124, sizeWidth = 12;
constexpr std::size_t mtimeOffset = 136, mtimeWidth = 12;
constexpr std::size_t checksumOffset = 148, checksumWidth = 8;
constexpr std::size_t typeflagOffset = 156;
constexpr std::size_t magicOffset = 257;
constexpr std::size_t prefixOffset = 345, prefixWidth = 155;
constexpr std::size_t sparseExtendedOffset = 482;       // in an old GNU sparse header
constexpr std::size_t sparseExtensionFlagOffset = 504;  // in each of its extension blocks

// Long names and pax records live in memory; anything larger is not a real archive.
constexpr std::int64_t maxMetadataSize = 8 * 1024 * 1024;

// The gzip layer is asked for this much at a time; the walk still sees 512-byte blocks.
constexpr std::size_t readChunk = 256 * 1024;

std::string fieldText(const unsigned char* field, std::size_t width) {
  const auto* begin = reinterpret_cast<const char*>(field);
  const auto* end = static_cast<const char*>(std::memchr(begin, 0, width));
  return std::string(begin, end ? end : begin + width);
}

// Hands out 512-byte blocks from large reads of the gzip stream.
class BlockSource {
 public:
  BlockSource(gzFile file, WalkProgress& progress)
      : file_(file), progress_(progress), buffer_(readChunk) {}

  // Number of whole blocks ready at block(); 0 when the input has ended or failed
  // (see failed()).
  std::size_t ready() {
    if (end_ - begin_ < blockSize) refill();
    return (end_ - begin_) / blockSize;
  }
  const unsigned char* block() const { return buffer_.data() + begin_; }
  void consume(std::size_t blocks) {
    begin_ += blocks * blockSize;
    consumedAny_ = consumedAny_ || blocks > 0;
    progress_.bytesConsumed.fetch_add(blocks * blockSize, std::memory_order_relaxed);
  }
  bool failed() const { return failed_; }

  // Reads on past the blocks handed out and throws the bytes away: the number read, 0 at
  // the end of the stream, -1 when the gzip layer reports damage.
  int discardChunk() {
    begin_ = end_ = 0;
    const int got = gzread(file_, buffer_.data(), static_cast<unsigned>(buffer_.size()));
    if (got < 0) failed_ = true;
    if (got <= 0) finished_ = true;
    notePosition();
    return got;
  }
  // True once the input has ended exactly at a block boundary, with nothing left over.
  bool endedCleanly() const { return finished_ && !failed_ && begin_ == end_; }
  // True once at least one block has been handed out.
  bool consumedAny() const { return consumedAny_; }

 private:
  void refill() {
    const std::size_t leftover = end_ - begin_;
    std::memmove(buffer_.data(), buffer_.data() + begin_, leftover);
    begin_ = 0;
    end_ = leftover;
    while (!finished_ && end_ < blockSize) {
      const int got = gzread(file_, buffer_.data() + end_, static_cast<unsigned>(buffer_.size() - end_));
      if (got < 0) {
        failed_ = true;
        finished_ = true;
      } else if (got == 0) {
        finished_ = true;
      } else {
        end_ += static_cast<std::size_t>(got);
      }
      notePosition();
    }
  }

  void notePosition() {
    const z_off_t position = gzoffset(file_);
    if (position > 0) progress_.archivePosition.store(position, std::memory_order_relaxed);
  }

  gzFile file_;
  WalkProgress& progress_;
  std::vector<unsigned char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool finished_ = false;
  bool failed_ = false;
  bool consumedAny_ = false;
};

// What a header's typeflag makes of it.
enum class HeaderKind {
  regular,        // a file, or a folder when its name ends in '/'
  directory,
  noData,         // links, devices and FIFOs: nothing follows the header
  longName,       // GNU long name or long link target of the next member
  longLink,
  paxRecords,     // pax extended header of the next member
  globalRecords,  // pax global header: describes the archive, not a member
  vendor,         // a vendor's extension: passed over by its size
};

// The one place that decides what a typeflag means. The vendors' extensions that GNU tar
// and bsdtar read as something other than a file's content are passed over by their size:
// dump directories 'D', continuations 'M', old long names 'N', sparse files 'S', volume
// labels 'V' and Solaris extended headers 'X'. Any other typeflag this reader does not know
// (a digit, a letter, punctuation, a control byte) is a regular file, as POSIX asks of
// readers and as GNU tar, bsdtar and Python's tarfile extract it.
HeaderKind classifyTypeflag(char typeflag) {
  switch (typeflag) {
    case '0':
    case '\0':
    case '7':
      return HeaderKind::regular;
    case '5':
      return HeaderKind::directory;
    case '1':
    case '2':
    case '3':
    case '4':
    case '6':
      return HeaderKind::noData;
    case 'L':
      return HeaderKind::longName;
    case 'K':
      return HeaderKind::longLink;
    case 'x':
      return HeaderKind::paxRecords;
    case 'g':
      return HeaderKind::globalRecords;
    case 'D':
    case 'M':
    case 'N':
    case 'S':
    case 'V':
    case 'X':
      return HeaderKind::vendor;
    default:
      return HeaderKind::regular;
  }
}

bool allZero(const unsigned char* block) {
  for (std::size_t i = 0; i < blockSize; ++i) {
    if (block[i] != 0) return false;
  }
  return true;
}

// Extended-header values that apply to the next member.
struct PaxOverrides {
  bool hasPath = false, hasSize = false, hasMtime = false;
  std::string path;
  std::int64_t size = 0;
  std::int64_t mtime = 0;
};

bool parseDecimal(const std::string& text, std::int64_t& value) {
  if (text.empty()) return false;
  // Leading zeros are allowed in any number; 18 significant digits always fit 64 bits.
  const std::size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
  if (text.size() - first > 18) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// Seconds of a pax time: an optional sign, digits, an optional fraction (dropped).
bool parsePaxTime(const std::string& text, std::int64_t& value) {
  std::size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
  std::string whole = text.substr(start);
  const std::size_t dot = whole.find('.');
  if (dot != std::string::npos) {
    const std::string fraction = whole.substr(dot + 1);
    if (!std::all_of(fraction.begin(), fraction.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return false;
    whole.resize(dot);
  }
  if (!parseDecimal(whole, value)) return false;
  if (start) value = -value;
  return true;
}

// Records of the form "<length> <key>=<value>\n". False for anything malformed.
bool parsePaxRecords(const std::string& data, PaxOverrides& pax) {
  std::size_t position = 0;
  while (position < data.size()) {
    if (data[position] == '\0') {
      // Some writers pad the records with NULs.
      if (data.find_first_not_of('\0', position) == std::string::npos) return true;
      return false;
    }
    const std::size_t space = data.find(' ', position);
    if (space == std::string::npos) return false;
    std::int64_t length = 0;
    if (!parseDecimal(data.substr(position, space - position), length)) return false;
    if (length <= static_cast<std::int64_t>(space - position) + 1 ||
        length > static_cast<std::int64_t>(data.size() - position))
      return false;
    const std::size_t recordEnd = position + static_cast<std::size_t>(length);
    if (data[recordEnd - 1] != '\n') return false;
    const std::string record = data.substr(space + 1, recordEnd - 1 - (space + 1));
    const std::size_t equals = record.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    const std::string key = record.substr(0, equals);
    const std::string value = record.substr(equals + 1);
    if (key.find('\0') != std::string::npos) return false;
    if (key == "path") {
      if (value.find('\0') != std::string::npos) return false;
      pax.hasPath = !value.empty();
      pax.path = value;
    } else if (key == "size") {
      if (value.empty()) {
        pax.hasSize = false;
      } else {
        if (!parseDecimal(value, pax.size)) return false;
        pax.hasSize = true;
      }
    } else if (key == "mtime") {
      if (value.empty()) {
        pax.hasMtime = false;
      } else {
        if (!parsePaxTime(value, pax.mtime)) return false;
        pax.hasMtime = true;
      }
    } else if (key == "linkpath") {
      if (value.find('\0') != std::string::npos) return false;
    }
    position = recordEnd;
  }
  return true;
}

class Walker {
 public:
  Walker(gzFile file, WalkVisitor& visitor, WalkProgress& progress)
      : source_(file, progress), visitor_(visitor) {}

  // After the end of the archive: reads the compressed stream to its end so that the
  // gzip layer checks its length and CRC. Writers pad the archive to whole records (GNU
  // tar's 10 KiB by default, much more with -b), so the end marker may come well before
  // the end of the stream, and damage in a member's data that inflate itself cannot see
  // (a stored block) shows only there. A stop request still ends this at once.
  WalkEnd drainCompressed() {
    for (;;) {
      if (!visitor_.beforeBlock()) return WalkEnd::stopped;
      const int got = source_.discardChunk();
      if (got < 0) return WalkEnd::readError;
      if (got == 0) return WalkEnd::endOfArchive;
    }
  }

  WalkEnd run() {
    for (;;) {
      const unsigned char* header = nullptr;
      if (WalkEnd end; !nextBlock(header, end)) {
        // The input may end where the next header would start: after a member's data or
        // after a member without data, as writers that leave out the end blocks do. An
        // input that held no block at all (an empty file) is no archive, and one that
        // ends between an extended header and its member has lost that member.
        if (end == WalkEnd::shortRead && source_.endedCleanly() && source_.consumedAny() &&
            !extensionPending_)
          return WalkEnd::endOfArchive;
        return end;
      }
      // Only a block of zeros ends the archive (one is enough; what follows it is not
      // read as tar). Any other block here is a header, its checksum decides, and a good
      // header with an empty name is a member with an empty name.
      if (allZero(header)) return WalkEnd::endOfArchive;
      if (!checksumMatches(header)) return WalkEnd::badHeader;

      std::int64_t size = 0, mtime = 0;
      if (!readNumber(header + sizeOffset, sizeWidth, size) || size < 0) return WalkEnd::badHeader;
      if (!readNumber(header + mtimeOffset, mtimeWidth, mtime)) return WalkEnd::badHeader;
      const char typeflag = static_cast<char>(header[typeflagOffset]);
      // Old GNU sparse files may continue their map in extension blocks before the data.
      bool sparseExtended = typeflag == 'S' && header[sparseExtendedOffset] != 0;
      // The header block is only valid until the next read; keep what is needed.
      std::string name = headerName(header);
      source_.consume(1);

      const HeaderKind kind = classifyTypeflag(typeflag);
      switch (kind) {
        case HeaderKind::longName:
        case HeaderKind::longLink: {
          std::string text;
          if (WalkEnd end; !readMetadata(size, text, end)) return end;
          if (kind == HeaderKind::longName) {
            longName_ = fieldText(reinterpret_cast<const unsigned char*>(text.data()), text.size());
            hasLongName_ = true;
          }
          extensionPending_ = true;
          continue;
        }
        case HeaderKind::paxRecords: {
          std::string text;
          if (WalkEnd end; !readMetadata(size, text, end)) return end;
          if (!parsePaxRecords(text, pax_)) return WalkEnd::badHeader;
          extensionPending_ = true;
          continue;
        }
        case HeaderKind::globalRecords:
          if (WalkEnd end; !skipData(size, end)) return end;
          continue;
        default:
          break;
      }

      Member member;
      // Moved, not copied: a long name may be megabytes, and one copy is enough.
      member.name = pax_.hasPath      ? std::move(pax_.path)
                    : hasLongName_ ? std::move(longName_)
                                   : std::move(name);
      member.mtime = pax_.hasMtime ? pax_.mtime : mtime;
      if (pax_.hasSize) size = pax_.size;
      pax_ = PaxOverrides();
      hasLongName_ = false;
      longName_.clear();
      extensionPending_ = false;

      const bool regular = kind == HeaderKind::regular;
      if (kind == HeaderKind::directory ||
          (regular && !member.name.empty() && member.name.back() == '/')) {
        member.kind = Member::Kind::directory;
        visitor_.onDirectory(member);
        // Directories carry no data; old writers' "directory files" may.
        if (regular) {
          if (WalkEnd end; !skipData(size, end)) return end;
        }
      } else if (regular) {
        member.kind = Member::Kind::file;
        member.size = size;
        visitor_.onFileBegin(member);
        WalkEnd end;
        const bool complete = fileData(size, end);
        visitor_.onFileEnd(complete);
        if (!complete) return end;
      } else if (kind == HeaderKind::noData) {
        // Nothing follows the header, whatever the size says.
      } else {
        // A vendor's extension: its data (after an old GNU sparse file's map blocks) is
        // passed over by its size.
        while (sparseExtended) {
          const unsigned char* block = nullptr;
          if (WalkEnd end; !nextBlock(block, end)) return end;
          sparseExtended = block[sparseExtensionFlagOffset] != 0;
          source_.consume(1);
        }
        if (WalkEnd end; !skipData(size, end)) return end;
      }
    }
  }

 private:
  std::string headerName(const unsigned char* header) const {
    std::string name = fieldText(header + nameOffset, nameWidth);
    if (std::memcmp(header + magicOffset, "ustar\0", 6) == 0 && header[prefixOffset] != '\0')
      name = fieldText(header + prefixOffset, prefixWidth) + "/" + name;
    return name;
  }

  // One block at the front of the source, after the before-block question.
  bool nextBlock(const unsigned char*& block, WalkEnd& end) {
    if (!visitor_.beforeBlock()) {
      end = WalkEnd::stopped;
      return false;
    }
    if (source_.ready() == 0) {
      end = source_.failed() ? WalkEnd::readError : WalkEnd::shortRead;
      return false;
    }
    block = source_.block();
    return true;
  }

  // Hands `size` bytes of member data to the visitor, block run by block run.
  bool fileData(std::int64_t size, WalkEnd& end) {
    std::int64_t remaining = size;
    while (remaining > 0) {
      const unsigned char* first = nullptr;
      if (!nextBlock(first, end)) return false;
      // Further whole blocks already in memory go in the same call, each still asked about.
      const std::int64_t blocksWanted = (remaining + blockSize - 1) / blockSize;
      std::size_t blocks = 1;
      const std::size_t ready = source_.ready();
      while (blocks < ready && static_cast<std::int64_t>(blocks) < blocksWanted &&
             visitor_.beforeBlock())
        ++blocks;
      const std::int64_t bytes = std::min<std::int64_t>(remaining, blocks * blockSize);
      visitor_.onFileData(first, static_cast<std::size_t>(bytes));
      source_.consume(blocks);
      remaining -= bytes;
      if (remaining > 0 && blocks < ready && static_cast<std::int64_t>(blocks) < blocksWanted) {
        end = WalkEnd::stopped;
        return false;
      }
    }
    return true;
  }

  bool skipData(std::int64_t size, WalkEnd& end) {
    std::int64_t blocks = (size + blockSize - 1) / blockSize;
    while (blocks > 0) {
      const unsigned char* block = nullptr;
      if (!nextBlock(block, end)) return false;
      source_.consume(1);
      --blocks;
    }
    return true;
  }

  bool readMetadata(std::int64_t size, std::string& text, WalkEnd& end) {
    if (size > maxMetadataSize) {
      end = WalkEnd::badHeader;
      return false;
    }
    text.clear();
    text.reserve(static_cast<std::size_t>(size));
    std::int64_t remaining = size;
    while (remaining > 0) {
      const unsigned char* block = nullptr;
      if (!nextBlock(block, end)) return false;
      const auto bytes = static_cast<std::size_t>(std::min<std::int64_t>(remaining, blockSize));
      text.append(reinterpret_cast<const char*>(block), bytes);
      source_.consume(1);
      remaining -= static_cast<std::int64_t>(bytes);
    }
    return true;
  }

  BlockSource source_;
  WalkVisitor& visitor_;
  PaxOverrides pax_;
  bool hasLongName_ = false;
  std::string longName_;
  // A long name, long link or pax header was read and its member has not come yet.
  bool extensionPending_ = false;
};

// The octal text of a field: blanks, digits, blanks, up to the first NUL. `digits` tells
// how many digits there were; a field without any reads as 0.
bool parseOctalText(const unsigned char* field, std::size_t width, std::int64_t& value,
                    std::size_t& digits) {
  const auto* nul = static_cast<const unsigned char*>(std::memchr(field, 0, width));
  const std::size_t length = nul ? static_cast<std::size_t>(nul - field) : width;
  std::size_t i = 0;
  while (i < length && field[i] == ' ') ++i;
  std::uint64_t number = 0;
  digits = 0;
  for (; i < length && field[i] >= '0' && field[i] <= '7'; ++i, ++digits) {
    if (number > (static_cast<std::uint64_t>(INT64_MAX) >> 3)) return false;
    number = number * 8 + (field[i] - '0');
  }
  // Only blanks may follow the digits: "12 34" or "17z" has no one value that every
  // reader would agree on, so it is no number at all.
  while (i < length && field[i] == ' ') ++i;
  if (i != length) return false;
  value = static_cast<std::int64_t>(number);
  return true;
}

}  // namespace

bool readOctal(const unsigned char* field, std::size_t width, std::int64_t& value) {
  std::size_t digits = 0;
  return parseOctalText(field, width, value, digits);
}

bool readNumber(const unsigned char* field, std::size_t width, std::int64_t& value) {
  if (width == 0 || (field[0] & 0x80) == 0) return readOctal(field, width, value);
  // Base-256: big-endian two's complement with the marker bit cleared.
  const unsigned char fill = (field[0] & 0x40) ? 0xff : 0x00;
  std::uint64_t magnitude = 0;
  for (std::size_t i = 0; i < width; ++i) {
    unsigned char c = static_cast<unsigned char>(field[i] ^ fill);
    if (i == 0) c &= 0x7f;
    if ((magnitude >> 56) != 0) return false;
    magnitude = (magnitude << 8) | c;
  }
  if ((magnitude >> 63) != 0) return false;
  value = fill ? -static_cast<std::int64_t>(magnitude) - 1 : static_cast<std::int64_t>(magnitude);
  return true;
}

bool checksumMatches(const unsigned char* block) {
  std::int64_t stored = 0;
  std::size_t digits = 0;
  if (!parseOctalText(block + checksumOffset, checksumWidth, stored, digits) || digits == 0)
    return false;
  std::int64_t unsignedSum = 0, signedSum = 0;
  for (std::size_t j = 0; j < blockSize; ++j) {
    const bool inField = j >= checksumOffset && j < checksumOffset + checksumWidth;
    const unsigned char c = inField ? ' ' : block[j];
    unsignedSum += c;
    signedSum += static_cast<signed char>(c);
  }
  return stored == unsignedSum || stored == signedSum;
}

WalkEnd walkArchive(gzFile file, WalkVisitor& visitor, WalkProgress& progress) {
  progress.bytesConsumed.store(0);
  Walker walker(file, visitor, progress);
  const WalkEnd end = walker.run();
  // A plain file is not read past the end of the archive; gzdirect() is 0 for gzip data.
  if (end == WalkEnd::endOfArchive && gzdirect(file) == 0) return walker.drainCompressed();
  return end;
}

std::int32_t finishWalk(gzFile file, WalkEnd end) {
  const int closed = gzclose(file);
  if (closed != Z_OK || end == WalkEnd::readError) return protocol::kResultDamaged;
  if (end == WalkEnd::shortRead || end == WalkEnd::badHeader) return protocol::kResultNotATar;
  return protocol::kResultOk;
}

}  // namespace untgz
