// Archives written by other tools (GNU tar in its gnu and pax formats and in each of its
// sparse formats, bsdtar's ustar, Python's tarfile, and CPython's own test archive), made
// while building, driven through the control as a host would: the listing raises one
// TarFileInformation per directory and file, with the names, sizes and times that Python's
// tarfile reads, then ErrorCode 0; the extraction with WaitExecution raises Progress from 0
// to 100, Finished and ErrorCode 0 and leaves the exact tree. Archives of names in every
// script land under their exact names in a folder named in Cyrillic, as the Linux side of
// the prefix shows them.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "common/utf8.h"
#include "common/windows_path.h"
#include "common/wine_paths.h"
#include "tests/control/com/com_fixture.h"

namespace comtest {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;

// The build gives Linux paths; Wine shows the Linux root as drive Z:.
fs::path fromBuild(const std::string& unixPath) {
  return fs::path(zax::fromUtf8(untgz::paths::windowsPathOf(unixPath)));
}

const fs::path kArchives = fromBuild(ZAX_REAL_ARCHIVES_DIR);

// A name as the control shows it to a host: its bytes read as UTF-8 where they are, else
// in the ANSI code page, as Windows tools of old wrote them and as it was always read.
std::wstring asTheControlShowsIt(const std::string& bytes) {
  if (zax::isValidUtf8(bytes)) return zax::fromUtf8(bytes);
  const int length = static_cast<int>(bytes.size());
  std::wstring text(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0)),
                    L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), static_cast<int>(text.size()));
  return text;
}

struct Expected {
  std::string tree;  // the folder the extraction must equal ("-" for none)
  std::wstring selection;
  std::vector<std::wstring> events;
  std::vector<std::string> members;  // each member's name, its bytes as stored
  std::wstring outcome;              // the extraction's ErrorCode event, when not "no error"
};

// expected.txt: "archive NAME TREE SELECTION", then that archive's TarFileInformation events
// and, for some, "member NAME" lines and an "outcome EVENT" line (the extraction's
// ErrorCode when members are left out).
std::map<std::string, Expected> expectations() {
  std::map<std::string, Expected> all;
  std::ifstream in(kArchives / "expected.txt", std::ios::binary);
  std::string archive;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("archive ", 0) == 0) {
      std::istringstream fields(line.substr(8));
      std::string tree, selection;
      fields >> archive >> tree >> selection;
      all[archive].tree = tree;
      all[archive].selection = widen(selection);
    } else if (line.rfind("member ", 0) == 0) {
      all[archive].members.push_back(line.substr(7));
    } else if (line.rfind("outcome ", 0) == 0) {
      all[archive].outcome = widen(line.substr(8));
    } else if (!line.empty()) {
      all[archive].events.push_back(asTheControlShowsIt(line));
    }
  }
  return all;
}

// Every folder and file below a root, with each file's bytes and modification time. The
// reference trees hold each name as Windows writes it (UTF-8 where it is, else its reading
// in the prefix's code page, cp1252).
using Tree = std::map<std::wstring, std::string>;

// The bytes of a file, read through the wide calls (the path in the long form).
std::string bytesOf(const std::wstring& path) {
  std::string bytes;
  const zax::UniqueFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return "<unreadable>";
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

// Walks the folder through the wide calls in the long form, in which paths past MAX_PATH
// (CPython's archive has some) are read; the C library's own walk stops at MAX_PATH.
void addTree(const std::wstring& folder, const std::wstring& relative, Tree& tree) {
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const std::wstring path = folder + L"\\" + name;
    const std::wstring key = relative.empty() ? name : relative + L"\\" + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      tree[key] = "<folder>";
      addTree(path, key, tree);
    } else {
      const ULONGLONG time = (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                             found.ftLastWriteTime.dwLowDateTime;
      tree[key] = bytesOf(path) + " @" + std::to_string(time);
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

Tree treeOf(const fs::path& root) {
  Tree tree;
  addTree(zax::longPathForm(fs::absolute(root).wstring()), L"", tree);
  return tree;
}

class RealArchivesTest : public ActiveXTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RealArchivesTest, ListsAsTarfileReadsItAndExtractsTheExactTree) {
  const auto all = expectations();
  ASSERT_EQ(all.count(GetParam()), 1u) << "no expectations for " << GetParam();
  std::vector<std::wstring> expected = all.at(GetParam()).events;
  ASSERT_FALSE(expected.empty());
  expected.push_back(kNoError);
  const std::wstring archive = (kArchives / GetParam()).wstring();

  ASSERT_EQ(control.call(L"ZAXListTarFile", {archive}).hr, S_OK);
  EXPECT_THAT(events.log(), ElementsAreArray(expected));

  events.clear();
  ASSERT_EQ(control.put(L"WaitExecution", true).hr, S_OK);
  ASSERT_EQ(control.call(L"ZAXUncompress", {archive, path("out"), all.at(GetParam()).selection}).hr, S_OK);
  const std::vector<std::wstring> log = events.log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.front(), L"Progress(0)");
  const std::wstring outcome = all.at(GetParam()).outcome.empty() ? kNoError : all.at(GetParam()).outcome;
  EXPECT_THAT(std::vector<std::wstring>(log.end() - 3, log.end()),
              ElementsAreArray(std::vector<std::wstring>{L"Progress(100)", L"Finished", outcome}));
  EXPECT_TRUE(treeOf(fs::path(path("out"))) == treeOf(kArchives / all.at(GetParam()).tree))
      << "the extracted tree differs from " << all.at(GetParam()).tree;
}

// The name a member lands under, as UTF-8: its name as the control shows it, with the
// characters Windows refuses in names written as '_', as bsdtar writes them there.
std::string landsAs(const std::string& member) {
  std::string name = zax::toUtf8(asTheControlShowsIt(member));
  for (char& c : name)
    if (c == ':' || c == '?') c = '_';
  if (!name.empty() && name.back() == '/') name.pop_back();
  return name;
}

class NamesInEveryScriptTest : public ActiveXTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(NamesInEveryScriptTest, LandUnderTheirExactNamesInACyrillicFolder) {
  const auto all = expectations();
  ASSERT_EQ(all.count(GetParam()), 1u) << "no expectations for " << GetParam();
  const Expected& expected = all.at(GetParam());
  ASSERT_FALSE(expected.members.empty());
  const std::wstring archive = (kArchives / GetParam()).wstring();

  // The listing shows each name as the archive holds it.
  std::vector<std::wstring> events = expected.events;
  events.push_back(kNoError);
  ASSERT_EQ(control.call(L"ZAXListTarFile", {archive}).hr, S_OK);
  EXPECT_THAT(this->events.log(), ElementsAreArray(events));

  const std::string destination = "\xD0\x9D\xD0\xB0\xD0\xB7\xD0\xBD\xD0\xB0\xD1\x87\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5";  // Назначение
  this->events.clear();
  ASSERT_EQ(control.put(L"WaitExecution", true).hr, S_OK);
  ASSERT_EQ(control.call(L"ZAXUncompress", {archive, zax::fromUtf8(folder.nativeChild(destination)), L"*.*"}).hr,
            S_OK);
  ASSERT_FALSE(this->events.log().empty());
  EXPECT_EQ(this->events.log().back(), kNoError);

  // What the Linux file system holds, byte for byte: every member under its name, files
  // holding what their members hold, a path past 300 characters among them.
  std::vector<std::string> landed;
  std::size_t longest = 0;
  for (const std::string& member : expected.members) {
    landed.push_back(landsAs(member));
    longest = std::max(longest, zax::fromUtf8(landed.back()).size());
  }
  std::sort(landed.begin(), landed.end());
  std::string why;
  EXPECT_EQ(zaxtest::namesOnTheLinuxSide(folder.nativeChild(destination), why), landed) << why;
  if (GetParam() != "names-cp1252.tar") {
    EXPECT_GT(longest, 300u);
  }
  for (const std::string& member : expected.members) {
    if (member.back() == '/') continue;
    std::string contents;
    EXPECT_TRUE(zaxtest::readFile(folder.nativeChild(destination + "/" + landsAs(member)), contents)) << member;
    EXPECT_EQ(contents, member) << "each file holds its own name as the archive stores it";
  }
}

INSTANTIATE_TEST_SUITE_P(Writers, NamesInEveryScriptTest,
                         ::testing::Values("names-gnu.tar", "names-pax.tar.gz", "names-cp1252.tar"),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param) name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

INSTANTIATE_TEST_SUITE_P(Writers, RealArchivesTest,
                         ::testing::Values("gnu-tar.tgz", "gnu-tar-pax.tar", "bsdtar-ustar.tar.gz",
                                           "python-pax.tar.gz", "sparse-gnu.tgz", "sparse-pax-0.0.tar",
                                           "sparse-pax-0.1.tar", "sparse-pax-1.0.tar.gz", "testtar.tar.gz",
                                           "gnu-tar-pax.tar.bz2", "gnu-tar-pax.tar.xz", "gnu-tar-pax.tar.lzma",
                                           "gnu-tar-pax.tar.lz", "gnu-tar-pax.tar.zst",
                                           "sparse-pax-0.0-blocks.tar.xz"),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param) name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace comtest
