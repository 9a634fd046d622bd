// The argument checks: True or False, never an error, and no engine needed.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/ansi_text.h"
#include "tests/host/host_fixture.h"

#ifdef _WIN32
#include <windows.h>

#include "common/unique_handle.h"
#endif

namespace fs = std::filesystem;
using namespace hosttest;

namespace {

class Checks : public HostTest {
 protected:
  // A path in the temporary test folder, as the control passes it.
  std::wstring path(const std::string& relative) const { return wide(temp.engineChild(relative)); }
  zax::ZipClass& host = makeHost();
};

TEST_F(Checks, CheckForEmpty) {
  EXPECT_TRUE(host.CheckForEmpty(L""));
  EXPECT_FALSE(host.CheckForEmpty(L" "));
  EXPECT_FALSE(host.CheckForEmpty(L"a"));
}

TEST_F(Checks, CheckInputFile) {
  zaxtest::writeFile(temp.nativeChild("empty.tar"), std::string());
  zaxtest::writeFile(temp.nativeChild("big.tar"), std::string(10000, 'b'));
  fs::create_directory(temp.nativeChild("folder"));
  struct Case {
    const char* name;
    bool readable;
  };
  for (const Case& c : {Case{"empty.tar", true}, Case{"big.tar", true}, Case{"missing.tar", false},
                        Case{"folder", false}, Case{"missing/x.tar", false}}) {
    EXPECT_EQ(host.CheckInputFile(path(c.name)), c.readable) << c.name;
  }
  EXPECT_FALSE(host.CheckInputFile(L""));
  EXPECT_FALSE(fs::exists(temp.nativeChild("missing.tar"))) << "never created";
#ifndef _WIN32
  // Natively a plain POSIX path is taken as well.
  EXPECT_TRUE(host.CheckInputFile(wide(temp.nativeChild("big.tar"))));
#endif
}

#ifdef _WIN32
TEST_F(Checks, CheckInputFileRefusesAFileHeldWithoutReadSharing) {
  const std::string file = temp.nativeChild("held.tar");
  zaxtest::writeFile(file, std::string("data"));
  zax::UniqueFileHandle held(::CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(held);
  EXPECT_FALSE(host.CheckInputFile(path("held.tar")));
  held.reset();
  EXPECT_TRUE(host.CheckInputFile(path("held.tar")));
}
#endif

TEST_F(Checks, CheckOuPutFile) {
  EXPECT_TRUE(host.CheckOuPutFile(path("new.out")));
  EXPECT_FALSE(fs::exists(temp.nativeChild("new.out"))) << "the probe file is removed";

  EXPECT_FALSE(host.CheckOuPutFile(path("missing/new.out")));
  EXPECT_FALSE(fs::exists(temp.nativeChild("missing")));

  // An existing file is refused and left exactly as it was.
  zaxtest::writeFile(temp.nativeChild("keep.out"), std::string("precious"));
  EXPECT_FALSE(host.CheckOuPutFile(path("keep.out")));
  std::string contents;
  ASSERT_TRUE(zaxtest::readFile(temp.nativeChild("keep.out"), contents));
  EXPECT_EQ(contents, "precious");
}

TEST_F(Checks, CheckForEquality) {
  struct Case {
    const wchar_t *a, *b;
    bool equal;
  };
  for (const Case& c : {Case{L"c:\\a.tar", L"C:\\A.TAR", true}, Case{L"c:\\a.tar", L"c:/a.tar", false},
                        Case{L"a.tar", L" a.tar", false}, Case{L"", L"", true},
                        Case{L"c:\\dir\\..\\a.tar", L"c:\\a.tar", false}}) {
    EXPECT_EQ(host.CheckForEquality(c.a, c.b), c.equal) << zax::toAnsi(c.a) << " | " << zax::toAnsi(c.b);
  }
}

}  // namespace
