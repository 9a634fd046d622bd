#include "engine/tar/header.h"

#include <cstring>

#include "engine/tar/numbers.h"

namespace untgz {

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

std::string fieldText(const unsigned char* field, std::size_t width) {
  const auto* begin = reinterpret_cast<const char*>(field);
  const auto* end = static_cast<const char*>(std::memchr(begin, 0, width));
  return std::string(begin, end ? end : begin + width);
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

std::string HeaderView::linkName() const { return fieldText(at(kLinkNameField), kLinkNameField.width); }

std::string HeaderView::name() const {
  std::string name = fieldText(at(kNameField), kNameField.width);
  if (std::memcmp(at(kMagicField), "ustar\0", kMagicField.width) == 0 && *at(kPrefixField) != '\0')
    name = fieldText(at(kPrefixField), kPrefixField.width) + "/" + name;
  return name;
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
