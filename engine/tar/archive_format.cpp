#include "engine/tar/archive_format.h"

#include <cstdint>
#include <cstring>

#include "engine/tar/header.h"

namespace untgz {

namespace {

struct Magic {
  const char* bytes;
  std::size_t size;
  ArchiveFormat format;
  const char* what;
};

// Signatures at the start of the file. The compressions' own first: they are what the
// engine reads; the rest are refused by name.
const Magic kMagics[] = {
    {"\x1f\x8b", 2, ArchiveFormat::gzip, nullptr},
    {"\xfd" "7zXZ\0", 6, ArchiveFormat::xz, nullptr},
    {"LZIP", 4, ArchiveFormat::lzip, nullptr},
    {"\x28\xb5\x2f\xfd", 4, ArchiveFormat::zstd, nullptr},
    {"PK\x03\x04", 4, ArchiveFormat::other, "a zip archive"},
    {"PK\x05\x06", 4, ArchiveFormat::other, "a zip archive"},
    {"PK\x07\x08", 4, ArchiveFormat::other, "a zip archive"},
    {"7z\xbc\xaf\x27\x1c", 6, ArchiveFormat::other, "a 7z archive"},
    {"Rar!\x1a\x07", 6, ArchiveFormat::other, "a rar archive"},
    {"\x04\x22\x4d\x18", 4, ArchiveFormat::other, "lz4 compressed data"},
    {"\x02\x21\x4c\x18", 4, ArchiveFormat::other, "lz4 compressed data"},
    {"\x1f\x9d", 2, ArchiveFormat::other, "compress (.Z) data"},
    {"\x1f\xa0", 2, ArchiveFormat::other, "compress (.Z) data"},
    {"\x1f\x1e", 2, ArchiveFormat::other, "pack (.z) data"},
    {"\x89LZO\0\r\n\x1a\n", 9, ArchiveFormat::other, "lzop compressed data"},
    {"MSCF\0\0\0\0", 8, ArchiveFormat::other, "a cabinet (.cab) archive"},
    {"!<arch>\n", 8, ArchiveFormat::other, "an ar archive (such as a .deb package)"},
    {"\xed\xab\xee\xdb", 4, ArchiveFormat::other, "an rpm package"},
    {"xar!", 4, ArchiveFormat::other, "a xar archive"},
    {"070707", 6, ArchiveFormat::other, "a cpio archive"},
    {"070701", 6, ArchiveFormat::other, "a cpio archive"},
    {"070702", 6, ArchiveFormat::other, "a cpio archive"},
    {"\xc7\x71", 2, ArchiveFormat::other, "a cpio archive"},
    {"\x60\xea", 2, ArchiveFormat::other, "an arj archive"},
};

bool startsWith(const unsigned char* bytes, std::size_t size, const char* magic, std::size_t length) {
  return size >= length && std::memcmp(bytes, magic, length) == 0;
}

std::uint32_t little32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// "BZh", the block size digit, then the magic of a block or of the stream's end.
bool isBzip2(const unsigned char* bytes, std::size_t size) {
  if (size < 4 || std::memcmp(bytes, "BZh", 3) != 0 || bytes[3] < '1' || bytes[3] > '9') return false;
  if (size < 10) return true;  // a file this short is cut off, and the decoder says so
  return std::memcmp(bytes + 4, "\x31\x41\x59\x26\x53\x59", 6) == 0 ||
         std::memcmp(bytes + 4, "\x17\x72\x45\x38\x50\x90", 6) == 0;
}

bool isZstdFrame(const unsigned char* bytes, std::size_t size) {
  if (size < 4) return false;
  const std::uint32_t magic = little32(bytes);
  // A frame, or a skippable frame (0x184D2A50 to 0x184D2A5F), which the decoder passes over.
  return magic == 0xFD2FB528u || (magic & 0xFFFFFFF0u) == 0x184D2A50u;
}

// The legacy .lzma header has no magic: a properties byte, a dictionary size and the
// uncompressed size (or all ones). What liblzma accepts is narrowed as xz does: a
// dictionary of 2^n or 2^n + 2^(n-1) bytes, at least the 4 KiB that the tools write, a
// size that is unknown or below 256 GiB, and the range coder's first byte, always zero.
bool isLegacyLzma(const unsigned char* bytes, std::size_t size) {
  if (size < 14 || bytes[0] > (4 * 5 + 4) * 9 + 8 || bytes[13] != 0) return false;
  const std::uint32_t dictionary = little32(bytes + 1);
  if (dictionary < 4096) return false;
  if (dictionary != UINT32_MAX) {
    std::uint32_t d = dictionary - 1;
    d |= d >> 2;
    d |= d >> 3;
    d |= d >> 4;
    d |= d >> 8;
    d |= d >> 16;
    if (++d != dictionary) return false;
  }
  std::uint64_t length = 0;
  for (int i = 7; i >= 0; --i) length = length << 8 | bytes[5 + i];
  return length == UINT64_MAX || length < (std::uint64_t{1} << 38);
}

}  // namespace

SniffedFormat sniffArchive(const unsigned char* head, std::size_t size) {
  // A tar header whose checksum holds is a tar, whatever its first name looks like.
  if (size >= 512 && checksumMatches(head)) return {ArchiveFormat::plain, nullptr};
  for (const Magic& magic : kMagics) {
    if (startsWith(head, size, magic.bytes, magic.size)) return {magic.format, magic.what};
  }
  if (isBzip2(head, size)) return {ArchiveFormat::bzip2, nullptr};
  if (isZstdFrame(head, size)) return {ArchiveFormat::zstd, nullptr};
  if (isLegacyLzma(head, size)) return {ArchiveFormat::lzma, nullptr};
  return {ArchiveFormat::plain, nullptr};
}

bool startsStream(ArchiveFormat format, const unsigned char* bytes, std::size_t size) {
  switch (format) {
    case ArchiveFormat::gzip:
      return startsWith(bytes, size, "\x1f\x8b", 2);
    case ArchiveFormat::bzip2:
      return size >= 4 && std::memcmp(bytes, "BZh", 3) == 0 && bytes[3] >= '1' && bytes[3] <= '9';
    case ArchiveFormat::xz:
      return startsWith(bytes, size, "\xfd" "7zXZ\0", 6);
    case ArchiveFormat::lzip:
      return startsWith(bytes, size, "LZIP", 4);
    case ArchiveFormat::zstd:
      return isZstdFrame(bytes, size);
    default:
      return false;
  }
}

}  // namespace untgz
