#include "control/ui/windows_ui.h"

#include "host/ansi_text.h"
#include "control/ui/browse_folders.h"
#include "control/ui/form1.h"
#include "control/zax_tar_gzip.h"

namespace zax::ui {

void WindowsUserInterface::showMessage(const std::wstring& text) {
  // The text is the only content, with an OK button; the box stays until it is closed.
  MessageBoxA(nullptr, toAnsi(text).c_str(), toAnsi(kApplicationTitle).c_str(),
              MB_OK | MB_TASKMODAL);
}

void WindowsUserInterface::showAbout(const std::wstring& caption) { showForm1(module_, caption); }

std::wstring WindowsUserInterface::browseForFolder(const std::wstring& Title,
                                                   const std::wstring& InitDir) {
  return BrowSeFolders::ShowFolderDialog(Title, InitDir);
}

}  // namespace zax::ui
