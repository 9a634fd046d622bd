#include "common/utf8.h"

#include <cstdint>

namespace zax {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void appendWide(std::wstring& out, char32_t c) {
  if (sizeof(wchar_t) == 2 && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (c >> 10));
    out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The length of the valid UTF-8 sequence at bytes[i] and its character, or 0 when the byte
// there starts none.
std::size_t sequenceAt(std::string_view bytes, std::size_t i, char32_t& c) {
  const auto lead = static_cast<std::uint8_t>(bytes[i]);
  std::size_t length = 0;
  char32_t lowest = 0;
  c = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07, lowest = 0x10000;
  } else {
    return 0;
  }
  if (i + length > bytes.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<std::uint8_t>(bytes[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if (c < lowest || isSurrogate(c) || c > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string toUtf8(const std::wstring& text, char32_t replacement) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]) & (sizeof(wchar_t) == 2 ? 0xFFFF : 0xFFFFFFFF);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const char32_t low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (isSurrogate(c) || c > 0x10FFFF) c = replacement;
    appendUtf8(out, c);
  }
  return out;
}

std::wstring fromUtf8(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const std::size_t length = sequenceAt(bytes, i, c);
    appendWide(out, length == 0 ? kReplacement : c);
    i += length == 0 ? 1 : length;
  }
  return out;
}

std::wstring fromUtf8Escaped(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const std::size_t length = sequenceAt(bytes, i, c);
    appendWide(out, length == 0 ? 0xDC00 + static_cast<std::uint8_t>(bytes[i]) : c);
    i += length == 0 ? 1 : length;
  }
  return out;
}

std::string toUtf8Escaped(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char32_t c =
        i < text.size() ? static_cast<char32_t>(text[i]) & (sizeof(wchar_t) == 2 ? 0xFFFF : 0xFFFFFFFF) : 0;
    // A lone escape: not the low half of a pair (16-bit wchar_t), which toUtf8 joins.
    const bool pairedLow = sizeof(wchar_t) == 2 && i > start &&
                           (static_cast<char32_t>(text[i - 1]) & 0xFFFF) >= 0xD800 &&
                           (static_cast<char32_t>(text[i - 1]) & 0xFFFF) <= 0xDBFF;
    if (i == text.size() || (c >= 0xDC80 && c <= 0xDCFF && !pairedLow)) {
      out += toUtf8(text.substr(start, i - start));
      if (i < text.size()) out += static_cast<char>(c - 0xDC00);
      start = i + 1;
    }
  }
  return out;
}

bool isValidUtf8(const std::string& bytes) {
  char32_t c = 0;
  std::size_t i = 0;
  // ASCII, most names, needs no decoding.
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  while (i < bytes.size()) {
    const std::size_t length = sequenceAt(bytes, i, c);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::u32string codePointsOf(const std::string& bytes) {
  std::u32string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t c = 0;
    const std::size_t length = sequenceAt(bytes, i, c);
    if (length == 0) c = 0xDC00 + static_cast<std::uint8_t>(bytes[i]);
    out += c;
    i += length == 0 ? 1 : length;
  }
  return out;
}

std::size_t utf8PrefixLengthUtf16(std::string_view text, std::size_t units) {
  // A sequence never takes more units than bytes: a text of no more bytes fits whole. The
  // usual case, asked for every name of a listing.
  if (text.size() <= units) return text.size();
  std::size_t end = 0;
  for (std::size_t count = 0; end < text.size();) {
    char32_t c = 0;
    const std::size_t length = sequenceAt(text, end, c);
    count += length != 0 && c >= 0x10000 ? 2 : 1;
    if (count > units) break;
    end += length == 0 ? 1 : length;
  }
  return end;
}

std::size_t utf8PrefixLength(std::string_view text, std::size_t characters, std::size_t bytes) {
  // Every character takes a byte at least: a text within both limits fits whole.
  if (text.size() <= characters && text.size() <= bytes) return text.size();
  std::size_t end = 0;
  for (std::size_t count = 0; count < characters && end < text.size(); ++count) {
    char32_t c = 0;
    const std::size_t length = sequenceAt(text, end, c);
    const std::size_t next = end + (length == 0 ? 1 : length);
    if (next > bytes) break;
    end = next;
  }
  return end;
}

}  // namespace zax
