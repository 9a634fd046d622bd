// BrowSeFolders: the shell's folder dialog behind ZAXBrowseForFolder, driven through the
// ANSI forms of the shell calls.
#pragma once

#include <windows.h>

#include <string>

namespace zax::ui::BrowSeFolders {

// Shows the folder dialog titled Title, opening with InitDir selected; returns the chosen
// folder's full path, or "" when the user cancelled.
std::wstring ShowFolderDialog(const std::wstring& Title, const std::wstring& InitDir);

// What the dialog calls back (lpData: InitDir in the ANSI code page, NUL-terminated):
// selects InitDir once initialised and shows the path of each
// new selection in the status line. Always answers 0.
int CALLBACK FolderDialogCallback(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData);

}  // namespace zax::ui::BrowSeFolders
