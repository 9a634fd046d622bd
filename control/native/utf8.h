// Conversions between the control's wide strings and the UTF-8 of native terminals,
// command lines and file names.
#pragma once

#include <string>

namespace zax {

// Encodes text as UTF-8. UTF-16 surrogate pairs (16-bit wchar_t) are joined; a lone
// surrogate becomes U+FFFD.
std::string toUtf8(const std::wstring& text);

// Decodes UTF-8; every byte that does not start a valid sequence becomes U+FFFD, so no
// input is lost silently or read past its end.
std::wstring fromUtf8(const std::string& bytes);

}  // namespace zax
