#include "engine/tar/header.h"

#include <cstring>

#include "engine/tar/numbers.h"

namespace untgz {

bool checksumMatches(const unsigned char* block) {
  std::int64_t stored = 0;
  std::size_t digits = 0;
  if (!readOctalText(block + kChecksumField.offset, kChecksumField.width, stored, digits) ||
      digits == 0)
    return false;
  // One pass over the block, eight bytes at a time in 16-bit lanes, whatever the compiler
  // makes of it (every header of a listing is summed): the unsigned sum and the number of
  // bytes with the high bit set (each counts 256 less as a signed byte); then the field
  // itself counted as blanks instead of its bytes. A lane takes at most 64 * 2 * 255 and
  // 64 * 8, within 16 bits.
  constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFull;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
  std::uint64_t lanes = 0, highLanes = 0;
  for (std::size_t j = 0; j < kBlockSize; j += 8) {
    std::uint64_t word;
    std::memcpy(&word, block + j, sizeof word);
    lanes += (word & kLowBytes) + ((word >> 8) & kLowBytes);
    const std::uint64_t high8 = (word & kHighBits) >> 7;  // one per byte
    highLanes += (high8 & kLowBytes) + ((high8 >> 8) & kLowBytes);
  }
  const auto addLanes = [](std::uint64_t value) {
    return static_cast<std::uint32_t>((value & 0xFFFF) + ((value >> 16) & 0xFFFF) +
                                      ((value >> 32) & 0xFFFF) + (value >> 48));
  };
  std::uint32_t sum = addLanes(lanes), high = addLanes(highLanes);
  for (std::size_t j = 0; j < kChecksumField.width; ++j) {
    const unsigned char c = block[kChecksumField.offset + j];
    sum = sum - c + ' ';
    high -= c >> 7;
  }
  const std::int64_t unsignedSum = sum;
  const std::int64_t signedSum = unsignedSum - 256 * static_cast<std::int64_t>(high);
  return stored == unsignedSum || stored == signedSum;
}

// The vendors' extensions that GNU tar and bsdtar read as something other than a file's
// content are passed over by their size: dump directories 'D', continuations 'M', old long
// names 'N' and volume labels 'V'. Old GNU sparse files 'S' are read as files. Solaris
// extended headers 'X' are the pax 'x' headers under an older letter, and read as such, as
// GNU tar, bsdtar and Python's tarfile do. Any other typeflag this reader does not know (a
// digit, a letter, punctuation, a control byte) is a regular file, as POSIX asks of
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
    case 'X':
      return HeaderKind::paxRecords;
    case 'g':
      return HeaderKind::globalRecords;
    case 'S':
      return HeaderKind::oldSparse;
    case 'D':
    case 'M':
    case 'N':
    case 'V':
      return HeaderKind::vendor;
    default:
      return HeaderKind::regular;
  }
}

namespace {

// A field's text up to its first NUL (or its whole width), appended to `text`.
void appendFieldText(const unsigned char* field, std::size_t width, std::string& text) {
  const auto* begin = reinterpret_cast<const char*>(field);
  const auto* end = static_cast<const char*>(std::memchr(begin, 0, width));
  text.append(begin, end ? end : begin + width);
}

}  // namespace

std::string fieldText(const unsigned char* field, std::size_t width) {
  std::string text;
  appendFieldText(field, width, text);
  return text;
}

bool HeaderView::isEndBlock() const {
  for (std::size_t i = 0; i < kBlockSize; ++i) {
    if (block_[i] != 0) return false;
  }
  return true;
}

bool HeaderView::checksumMatches() const { return untgz::checksumMatches(block_); }

bool HeaderView::size(std::int64_t& value) const {
  return readNumber(at(kSizeField), kSizeField.width, value);
}

bool HeaderView::mtime(std::int64_t& value) const {
  return readNumber(at(kMtimeField), kMtimeField.width, value);
}

bool HeaderView::mode(std::int64_t& value) const {
  return readNumber(at(kModeField), kModeField.width, value);
}

void HeaderView::linkName(std::string& text) const {
  text.clear();
  appendFieldText(at(kLinkNameField), kLinkNameField.width, text);
}

void HeaderView::name(std::string& text) const {
  text.clear();
  if (std::memcmp(at(kMagicField), "ustar\0", kMagicField.width) == 0 && *at(kPrefixField) != '\0') {
    appendFieldText(at(kPrefixField), kPrefixField.width, text);
    text += '/';
  }
  appendFieldText(at(kNameField), kNameField.width, text);
}

bool HeaderView::hasSparseExtensions() const {
  return typeflag() == 'S' && block_[kSparseExtendedOffset] != 0;
}

bool sparseExtensionContinues(const unsigned char* block) {
  return block[kSparseExtensionFlagOffset] != 0;
}

bool HeaderView::realSize(std::int64_t& value) const {
  return readNumber(at(kRealSizeField), kRealSizeField.width, value);
}

bool readSparseEntries(const unsigned char* block, std::size_t first, std::size_t entries,
                       SparseMap& map) {
  constexpr std::size_t kNumberWidth = 12;
  for (std::size_t i = 0; i < entries; ++i) {
    const unsigned char* offsetField = block + first + i * 2 * kNumberWidth;
    const unsigned char* lengthField = offsetField + kNumberWidth;
    // GNU tar leaves the unused entries empty.
    if (offsetField[0] == 0 && lengthField[0] == 0) break;
    SparseSegment segment;
    if (!readNumber(offsetField, kNumberWidth, segment.offset) ||
        !readNumber(lengthField, kNumberWidth, segment.length) || map.size() >= kMaxSparseSegments)
      return false;
    map.push_back(segment);
  }
  return true;
}

}  // namespace untgz
