// The control's user interface on Windows: message boxes, the About box Form1 and the
// folder dialog of BrowSeFolders, all modal on the caller's thread.
#pragma once

#include <windows.h>

#include "control/ui_seams.h"

namespace zax::ui {

class WindowsUserInterface final : public UserInterface {
 public:
  explicit WindowsUserInterface(HINSTANCE module) : module_(module) {}

  void showMessage(const std::wstring& text) override;
  void showAbout(const std::wstring& caption) override;
  std::wstring browseForFolder(const std::wstring& Title, const std::wstring& InitDir) override;

 private:
  HINSTANCE module_;
};

}  // namespace zax::ui
