// Text as it crosses into the engine and the system's 8-bit calls: the control's Unicode
// strings in the system's ANSI code page on Windows, in UTF-8 on the native build.
#pragma once

#include <string>

namespace zax {

// Converts every character, NULs included; a character the code page cannot hold becomes
// the code page's default character ("?").
std::string toAnsi(const std::wstring& text);

// Converts every byte, NULs included; natively a byte that starts no valid UTF-8 sequence
// becomes U+FFFD.
std::wstring fromAnsi(const std::string& bytes);

}  // namespace zax
