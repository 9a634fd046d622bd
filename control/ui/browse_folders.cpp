#include "control/ui/browse_folders.h"

#include <objbase.h>
#include <shlobj.h>

#include "common/unique_resource.h"
#include "host/ansi_text.h"

namespace zax::ui::BrowSeFolders {
namespace {

// Only file-system folders may be chosen, no browsing below the domain level, and a
// status line in the dialog.
constexpr UINT kDialogFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT;

// The shell's item list of the chosen folder, freed by its owner.
struct ItemListTraits {
  using Handle = LPITEMIDLIST;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle items) {
    CoTaskMemFree(items);
    return true;
  }
};

// The path of a shell item, or false when the shell cannot give one.
bool pathOf(LPCITEMIDLIST item, char (&buffer)[MAX_PATH]) {
  buffer[0] = '\0';
  return item != nullptr && SHGetPathFromIDListA(item, buffer) == TRUE;
}

}  // namespace

std::wstring ShowFolderDialog(const std::wstring& Title, const std::wstring& InitDir) {
  // The callback finds InitDir through the dialog's own parameter.
  const std::string initialFolder = toAnsi(InitDir);
  const std::string title = toAnsi(Title);

  BROWSEINFOA info{};
  info.hwndOwner = nullptr;
  info.pidlRoot = nullptr;
  info.pszDisplayName = nullptr;
  info.lpszTitle = title.c_str();
  info.ulFlags = kDialogFlags;
  info.lpfn = FolderDialogCallback;
  info.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
  const zax::UniqueResource<ItemListTraits> chosen(SHBrowseForFolderA(&info));
  if (!chosen) return std::wstring();

  char path[MAX_PATH];
  pathOf(chosen.get(), path);
  return fromAnsi(std::string(path));
}

int CALLBACK FolderDialogCallback(HWND hwnd, UINT uMsg, LPARAM lParam, LPARAM lpData) {
  try {
    if (uMsg == BFFM_INITIALIZED) {
      // lpData is the path of InitDir; BFFM_SETSELECTIONA takes a path, not an item.
      SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, lpData);
    } else if (uMsg == BFFM_SELCHANGED) {
      char path[MAX_PATH];
      // Without a path the status line keeps what it showed.
      if (pathOf(reinterpret_cast<LPCITEMIDLIST>(lParam), path)) {
        SendMessageA(hwnd, BFFM_SETSTATUSTEXTA, 0, reinterpret_cast<LPARAM>(path));
      }
    }
  } catch (...) {
    // The dialog goes on whatever happened here.
  }
  return 0;
}

}  // namespace zax::ui::BrowSeFolders
