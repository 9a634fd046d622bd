// Conversions between wide strings and UTF-8: the text of native terminals, command lines
// and file names, and the native build's code page at the engine boundary.
#pragma once

#include <string>
#include <string_view>

namespace zax {

// Encodes text as UTF-8. UTF-16 surrogate pairs (16-bit wchar_t) are joined; anything else
// that is not a character (a lone surrogate, a value past U+10FFFF) becomes `replacement`.
std::string toUtf8(const std::wstring& text, char32_t replacement = 0xFFFD);

// Decodes UTF-8; every byte that does not start a valid sequence becomes U+FFFD, so no
// input is lost silently or read past its end.
std::wstring fromUtf8(const std::string& bytes);

// Texts that must come back byte for byte (names, which natively are bytes): as fromUtf8,
// but each byte that starts no valid sequence becomes 0xDC00 + byte, a lone surrogate that
// no valid sequence yields (as codePointsOf counts it); toUtf8Escaped turns those back into
// their bytes, so that fromUtf8Escaped and toUtf8Escaped undo each other.
std::wstring fromUtf8Escaped(const std::string& bytes);
std::string toUtf8Escaped(const std::wstring& text);

// True when every byte belongs to a valid UTF-8 sequence (no overlong forms, surrogates or
// values past U+10FFFF). The empty text is valid.
bool isValidUtf8(const std::string& bytes);

// The characters of a text as code points: each valid UTF-8 sequence gives its character,
// and each byte that starts none stands for itself as 0xDC00 + byte (a surrogate, which no
// valid sequence yields), so texts that are not UTF-8 still compare byte for byte.
std::u32string codePointsOf(const std::string& bytes);

// The byte length of the longest start of the text that holds at most `characters`
// characters and `bytes` bytes and ends between two characters, never inside a UTF-8
// sequence (a byte that starts no valid sequence counts as one character).
std::size_t utf8PrefixLength(std::string_view text, std::size_t characters,
                             std::size_t bytes = std::string_view::npos);

// The same, counting UTF-16 units (two for a character past U+FFFF) instead of characters.
std::size_t utf8PrefixLengthUtf16(std::string_view text, std::size_t units);

}  // namespace zax
