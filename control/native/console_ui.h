// The native build's user interface: no windows. Message boxes become lines on standard
// error, the About box is printed, and the folder browser answers "" as a cancelled
// dialog does.
#pragma once

#include <ostream>

#include "control/ui_seams.h"

namespace zax {

class ConsoleUserInterface final : public UserInterface {
 public:
  ConsoleUserInterface(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void showMessage(const std::wstring& text) override;
  void showAbout(const std::wstring& caption) override;
  std::wstring browseForFolder(const std::wstring& Title, const std::wstring& InitDir) override;

 private:
  std::ostream& out_;
  std::ostream& err_;
};

// The description the About box shows.
extern const char kAboutText[];

}  // namespace zax
