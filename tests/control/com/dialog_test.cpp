// The control's modal windows, driven from the test as a user would: the About box Form1
// and the shell's folder dialog behind ZAXBrowseForFolder. Each dialog is met by a hook
// when it becomes active; what it shows is read there and a button is pressed.
#include <windows.h>

#include <algorithm>

#include "tests/control/com/com_fixture.h"

namespace comtest {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

struct SeenDialog {
  HWND window = nullptr;
  std::wstring caption;
  std::vector<std::wstring> texts;
};

std::wstring lower(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(), towlower);
  return text;
}

class DialogTest : public ActiveXTest {
 protected:
  void TearDown() override {
    setDialogHandler(nullptr);
    ActiveXTest::TearDown();
  }

  // Records each dialog and presses the button with that text (or cancels without one).
  void answerWith(const wchar_t* button) {
    setDialogHandler([this, button](HWND dialog) {
      seen.push_back({dialog, windowText(dialog), childTexts(dialog)});
      HWND pressed = button != nullptr ? FindWindowExW(dialog, nullptr, L"Button", button) : nullptr;
      if (pressed != nullptr) {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(pressed), BN_CLICKED),
                     reinterpret_cast<LPARAM>(pressed));
      } else {
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      }
    });
  }

  CallResult browse(const std::wstring& title, const std::wstring& initDir) {
    BSTR titleText = SysAllocString(title.c_str());
    BSTR initText = SysAllocString(initDir.c_str());
    CallResult result = control.call(L"ZAXBrowseForFolder", {Var::byRef(&titleText), Var::byRef(&initText)});
    // Neither argument is changed.
    EXPECT_EQ(std::wstring(titleText), title);
    EXPECT_EQ(std::wstring(initText), initDir);
    SysFreeString(titleText);
    SysFreeString(initText);
    return result;
  }

  std::vector<SeenDialog> seen;
};

TEST_F(DialogTest, AboutShowsForm1UntilExitAndLoadsItAfreshEachTime) {
  answerWith(L"Exit");
  const std::wstring title = control.call(L"ControlName").value.text();

  CallResult first = control.call(L"About");
  EXPECT_EQ(first.hr, S_OK);
  EXPECT_EQ(first.value.type(), VT_EMPTY);
  ASSERT_EQ(seen.size(), 1u) << "About returned without showing its form";
  EXPECT_FALSE(IsWindow(seen[0].window)) << "Exit did not close the form";
  EXPECT_EQ(seen[0].caption, title);
  // The description, the maker and its two addresses, and the Exit button.
  EXPECT_THAT(seen[0].texts, Contains(HasSubstr(L"tar")));
  EXPECT_THAT(seen[0].texts, Contains(L"ZAX Software"));
  EXPECT_THAT(seen[0].texts, Contains(HasSubstr(L"http://www.zaxsoftware.example/")));
  EXPECT_THAT(seen[0].texts, Contains(HasSubstr(L"support@zaxsoftware.example")));
  EXPECT_THAT(seen[0].texts, Contains(L"Exit"));

  CallResult second = control.call(L"About");
  EXPECT_EQ(second.hr, S_OK);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].caption, title);
  EXPECT_EQ(seen[1].texts, seen[0].texts);
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DialogTest, FolderDialogOpensAtInitDirAndAnswersTheChosenFolder) {
  // Two calls in a row, each preselecting its own folder. Both folders are old: Wine's
  // dialog compares the item ids of a path with those of its tree, and at times fails to
  // match a folder made a moment before.
  for (const std::string& initDir : {std::string("C:\\windows"), std::string("C:\\ProgramData")}) {
    seen.clear();
    answerWith(L"OK");

    CallResult result = browse(L"Where to?", widen(initDir));
    ASSERT_EQ(result.hr, S_OK);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(lower(result.value.text()), lower(widen(initDir)));
    // The title, and the selection's path in the status line.
    EXPECT_THAT(seen[0].texts, Contains(L"Where to?"));
    std::vector<std::wstring> texts;
    for (const std::wstring& t : seen[0].texts) texts.push_back(lower(t));
    EXPECT_THAT(texts, Contains(lower(widen(initDir))));
  }
  EXPECT_TRUE(events.events.empty());
  EXPECT_EQ(V_I4(&*control.get(L"GetLastError").value), 0);
}

// A script passes its variables as Variants by reference: the title may hold a number,
// and after the call each variable holds its parameter's value as a String, as VB's late
// binding leaves it.
TEST_F(DialogTest, FolderDialogTakesScriptVariablesAndWritesThemBack) {
  answerWith(L"OK");
  VARIANT title;
  VariantInit(&title);
  V_VT(&title) = VT_I4;
  V_I4(&title) = 42;
  Var initDir(L"C:\\windows");
  CallResult result = control.call(L"ZAXBrowseForFolder", {Var::byRef(&title), Var::byRef(initDir.get())});
  ASSERT_EQ(result.hr, S_OK);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_THAT(seen[0].texts, Contains(L"42"));
  EXPECT_EQ(lower(result.value.text()), L"c:\\windows");
  ASSERT_EQ(V_VT(&title), VT_BSTR);
  EXPECT_STREQ(V_BSTR(&title), L"42");
  EXPECT_EQ(initDir.type(), VT_BSTR);
  EXPECT_EQ(initDir.text(), L"C:\\windows");
  VariantClear(&title);

  // Expressions come by value, in their own types.
  seen.clear();
  answerWith(nullptr);
  result = control.call(L"ZAXBrowseForFolder", {Var(7L), Var(L"C:\\windows")});
  ASSERT_EQ(result.hr, S_OK);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_THAT(seen[0].texts, Contains(L"7"));

  // A value that is no text at all is refused before anything opens.
  seen.clear();
  VARIANT unknown;
  VariantInit(&unknown);
  V_VT(&unknown) = VT_UNKNOWN;
  V_UNKNOWN(&unknown) = nullptr;
  result = control.call(L"ZAXBrowseForFolder", {Var::byRef(&unknown), Var(L"C:\\windows")});
  EXPECT_EQ(result.hr, DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(events.events.empty());
}

TEST_F(DialogTest, CancelledFolderDialogAnswersEmpty) {
  answerWith(nullptr);
  CallResult result = browse(L"Where to?", widen(folder.native()));
  ASSERT_EQ(result.hr, S_OK);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(result.value.type(), VT_BSTR);
  EXPECT_EQ(result.value.text(), L"");
  EXPECT_TRUE(events.events.empty());
}

}  // namespace
}  // namespace comtest
