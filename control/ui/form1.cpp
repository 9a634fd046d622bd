#include "control/ui/form1.h"

#include <shellapi.h>

#include <string>

#include "common/maker.h"
#include "resources/resource_ids.h"

namespace zax::ui {

namespace {

// The links open like a click in the shell: the "open" verb, the form as owner, the root
// of drive C as working folder, shown normally. What the shell answers is not ours to act on.
void openLink(HWND form, const std::string& target) {
  ShellExecuteA(form, "open", target.c_str(), nullptr, "C:\\", SW_SHOWNORMAL);
}

INT_PTR CALLBACK form1Proc(HWND form, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* caption = reinterpret_cast<const std::wstring*>(lParam);
      SetWindowTextW(form, caption->c_str());
      SetDlgItemTextA(form, IDC_TEXT1, maker::kDescription);
      SetDlgItemTextA(form, IDC_LABEL1, maker::kName);
      SetDlgItemTextA(form, IDC_LABEL2, maker::kWebAddress);
      SetDlgItemTextA(form, IDC_LABEL3, maker::kMadeBy);
      SetDlgItemTextA(form, IDC_LABEL4, maker::kMailAddress);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_LABEL2:
          if (HIWORD(wParam) == STN_CLICKED) openLink(form, maker::kWebAddress);
          return TRUE;
        case IDC_LABEL4:
          if (HIWORD(wParam) == STN_CLICKED) openLink(form, std::string("mailto:") + maker::kMailAddress);
          return TRUE;
        case IDC_COMMAND1:
        case IDCANCEL:
          EndDialog(form, 0);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CTLCOLORSTATIC: {
      // The two links look like links.
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (id == IDC_LABEL2 || id == IDC_LABEL4) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0, 0, 0xC0));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void showForm1(HINSTANCE module, const std::wstring& caption) {
  DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_FORM1), nullptr, form1Proc,
                  reinterpret_cast<LPARAM>(&caption));
}

}  // namespace zax::ui
