// The native build's code page is UTF-8.
#include "host/ansi_text.h"
#include "common/utf8.h"

namespace zax {

// A character the code page cannot hold becomes its default character, as on Windows.
std::string toAnsi(const std::wstring& text) { return toUtf8(text, U'?'); }

std::wstring fromAnsi(const std::string& bytes) { return fromUtf8(bytes); }

}  // namespace zax
