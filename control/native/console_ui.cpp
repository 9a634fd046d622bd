#include "control/native/console_ui.h"

#include "common/maker.h"
#include "common/utf8.h"

namespace zax {

void ConsoleUserInterface::showMessage(const std::wstring& text) {
  err_ << toUtf8(text) << '\n' << std::flush;
}

void ConsoleUserInterface::showAbout(const std::wstring& caption) {
  out_ << toUtf8(caption) << '\n' << maker::kConsoleDescription << std::flush;
}

std::wstring ConsoleUserInterface::browseForFolder(const std::wstring&, const std::wstring&) {
  return std::wstring();
}

}  // namespace zax
