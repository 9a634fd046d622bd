// The tar header block as it lies in the stream: where each field sits, what a typeflag
// makes of a header, and a view that reads the fields of one block in place. What a walk
// keeps of a header (the member it describes) is built from this view by the walker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/tar/sparse.h"

namespace untgz {

constexpr std::size_t kBlockSize = 512;

// True when the block's checksum field (octal text as readOctal reads it, with at least one
// digit) matches its bytes (the field itself counted as blanks), summed as unsigned or as
// signed bytes, as different writers did.
bool checksumMatches(const unsigned char* block);

// A field's place in the header block.
struct HeaderField {
  std::size_t offset;
  std::size_t width;
};

constexpr HeaderField kNameField{0, 100};
constexpr HeaderField kModeField{100, 8};
constexpr HeaderField kSizeField{124, 12};
constexpr HeaderField kMtimeField{136, 12};
constexpr HeaderField kChecksumField{148, 8};
constexpr HeaderField kTypeflagField{156, 1};
constexpr HeaderField kLinkNameField{157, 100};
constexpr HeaderField kMagicField{257, 6};      // "ustar\0" in a POSIX header
constexpr HeaderField kPrefixField{345, 155};   // ustar: the folders before the name
// An old GNU sparse header ('S'): four map entries (offset and length, 12 bytes each),
// a flag for extension blocks of 21 more entries each, and the file's real size.
constexpr std::size_t kSparseHeaderMapOffset = 386;
constexpr std::size_t kSparseHeaderEntries = 4;
constexpr std::size_t kSparseExtendedOffset = 482;
constexpr HeaderField kRealSizeField{483, 12};
constexpr std::size_t kSparseExtensionEntries = 21;      // from the start of the block
constexpr std::size_t kSparseExtensionFlagOffset = 504;  // in each extension block

// What a header's typeflag makes of it.
enum class HeaderKind {
  regular,        // a file, or a folder when its name ends in '/'
  directory,
  noData,         // links, devices and FIFOs: nothing follows the header
  longName,       // GNU long name or long link target of the next member
  longLink,
  paxRecords,     // pax extended header of the next member
  globalRecords,  // pax global header: describes the archive, not a member
  oldSparse,      // an old GNU sparse file: its map, then the stored stretches
  vendor,         // a vendor's extension: passed over by its size
};

// The one place that decides what a typeflag means (see header.cpp).
HeaderKind classifyTypeflag(char typeflag);

// The text of a field: its bytes up to the first NUL, or all of them.
std::string fieldText(const unsigned char* field, std::size_t width);

// One header block, read where it lies. The block must stay valid while the view is used.
class HeaderView {
 public:
  explicit HeaderView(const unsigned char* block) : block_(block) {}

  // A block of zeros: the end of the archive.
  bool isEndBlock() const;
  // The checksum field matches the block (see checksumMatches).
  bool checksumMatches() const;
  // The numeric fields; false when the field is no number (see readNumber).
  bool size(std::int64_t& value) const;
  bool mtime(std::int64_t& value) const;
  bool mode(std::int64_t& value) const;
  // The link target field (hard and symbolic links), written into `text`: a string that
  // is written again for every header keeps its memory.
  void linkName(std::string& text) const;
  const unsigned char* block() const { return block_; }
  char typeflag() const { return static_cast<char>(block_[kTypeflagField.offset]); }
  // The name field, after the ustar prefix and a "/" when the header is ustar and has one,
  // written into `text` as linkName writes.
  void name(std::string& text) const;
  // An old GNU sparse file whose map goes on in extension blocks before its data.
  bool hasSparseExtensions() const;
  // An old GNU sparse header's real size; false when the field is no number.
  bool realSize(std::int64_t& value) const;

 private:
  const unsigned char* at(const HeaderField& field) const { return block_ + field.offset; }

  const unsigned char* block_;
};

// In an old GNU sparse extension block: true when another extension block follows.
bool sparseExtensionContinues(const unsigned char* block);

// Appends the map entries of an old GNU sparse header (the block's first entry at
// kSparseHeaderMapOffset, kSparseHeaderEntries of them) or extension block (at 0,
// kSparseExtensionEntries) to `map`, up to the first empty entry. False for an entry whose
// numbers cannot be read, or a map past kMaxSparseSegments.
bool readSparseEntries(const unsigned char* block, std::size_t first, std::size_t entries,
                       SparseMap& map);

}  // namespace untgz
