#include "engine/tar/numbers.h"

#include <algorithm>
#include <cstring>

namespace untgz {

bool readOctalText(const unsigned char* field, std::size_t width, std::int64_t& value,
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

bool readOctal(const unsigned char* field, std::size_t width, std::int64_t& value) {
  std::size_t digits = 0;
  return readOctalText(field, width, value, digits);
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
