// Conversions between wide strings and UTF-8: the text of native terminals, command lines
// and file names, and the native build's code page at the engine boundary.
#pragma once

#include <string>

namespace zax {

// Encodes text as UTF-8. UTF-16 surrogate pairs (16-bit wchar_t) are joined; anything else
// that is not a character (a lone surrogate, a value past U+10FFFF) becomes `replacement`.
std::string toUtf8(const std::wstring& text, char32_t replacement = 0xFFFD);

// Decodes UTF-8; every byte that does not start a valid sequence becomes U+FFFD, so no
// input is lost silently or read past its end.
std::wstring fromUtf8(const std::string& bytes);

}  // namespace zax
