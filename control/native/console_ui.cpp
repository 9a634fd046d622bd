#include "control/native/console_ui.h"

#include "common/utf8.h"

namespace zax {

const char kAboutText[] =
    "Lists and extracts tar archives, plain or gzip-compressed, for host applications.\n"
    "Extraction runs in the background with progress, pause, resume and cancel;\n"
    "a listing reports the name, size, kind and modification time of every entry.\n";

void ConsoleUserInterface::showMessage(const std::wstring& text) {
  err_ << toUtf8(text) << '\n' << std::flush;
}

void ConsoleUserInterface::showAbout(const std::wstring& caption) {
  out_ << toUtf8(caption) << '\n' << kAboutText << std::flush;
}

std::wstring ConsoleUserInterface::browseForFolder(const std::wstring&, const std::wstring&) {
  return std::wstring();
}

}  // namespace zax
