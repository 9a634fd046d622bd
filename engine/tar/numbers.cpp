#include "engine/tar/numbers.h"

#include <algorithm>
#include <cstring>

#include "engine/tar/header.h"

namespace untgz {

namespace {

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
  if (!parseOctalText(block + kChecksumField.offset, kChecksumField.width, stored, digits) ||
      digits == 0)
    return false;
  // One pass over the block that the compiler can vectorise: the unsigned sum and the number
  // of bytes with the high bit set (each counts 256 less as a signed byte); then the field
  // itself counted as blanks instead of its bytes.
  std::uint32_t sum = 0, high = 0;
  for (std::size_t j = 0; j < kBlockSize; ++j) {
    sum += block[j];
    high += block[j] >> 7;
  }
  for (std::size_t j = 0; j < kChecksumField.width; ++j) {
    const unsigned char c = block[kChecksumField.offset + j];
    sum = sum - c + ' ';
    high -= c >> 7;
  }
  const std::int64_t unsignedSum = sum;
  const std::int64_t signedSum = unsignedSum - 256 * static_cast<std::int64_t>(high);
  return stored == unsignedSum || stored == signedSum;
}

bool readDecimal(const std::string& text, std::int64_t& value) {
  if (text.empty()) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (number > (static_cast<std::uint64_t>(INT64_MAX) - digit) / 10) return false;
    number = number * 10 + digit;
  }
  value = static_cast<std::int64_t>(number);
  return true;
}

}  // namespace untgz
