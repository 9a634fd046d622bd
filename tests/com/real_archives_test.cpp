// Archives written by other tools (GNU tar in its gnu and pax formats and in each of its
// sparse formats, bsdtar's ustar, Python's tarfile, and CPython's own test archive), made
// while building, driven through the control as a host would: the listing raises one
// TarFileInformation per directory and file, with the names, sizes and times that Python's
// tarfile reads, then ErrorCode 0; the extraction with WaitExecution raises Progress from 0
// to 100, Finished and ErrorCode 0 and leaves the exact tree.
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

#include "common/utf8.h"
#include "common/wine_paths.h"
#include "tests/com/com_fixture.h"

namespace comtest {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;

// The build gives Linux paths; Wine shows the Linux root as drive Z:.
fs::path fromBuild(const std::string& unixPath) {
  return fs::path(zax::fromUtf8(untgz::paths::windowsPathOf(unixPath)));
}

const fs::path kArchives = fromBuild(ZAX_REAL_ARCHIVES_DIR);

// Text of the engine as the control hands it to a host: in the ANSI code page.
std::wstring asTheControlShowsIt(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  const int length = static_cast<int>(bytes.size());
  std::wstring text(static_cast<std::size_t>(::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, nullptr, 0)),
                    L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, text.data(), static_cast<int>(text.size()));
  return text;
}

struct Expected {
  std::string tree;  // the folder the extraction must equal
  std::wstring selection;
  std::vector<std::wstring> events;
};

// expected.txt: "archive NAME TREE SELECTION", then that archive's TarFileInformation events.
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
    } else if (!line.empty()) {
      all[archive].events.push_back(asTheControlShowsIt(line));
    }
  }
  return all;
}

std::string contentsOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

struct Tree {
  // Every folder and file below a root whose path is ASCII, with each file's bytes and
  // modification time.
  std::map<std::wstring, std::string> ascii;
  // How many there are in all. Names beyond ASCII reach the disk through the ANSI code
  // page, so the archive's bytes and a name made by a Linux tool differ there; only their
  // number is compared.
  std::size_t count = 0;
  bool operator==(const Tree& other) const { return ascii == other.ascii && count == other.count; }
};

Tree treeOf(const fs::path& root) {
  Tree tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    ++tree.count;
    const std::wstring name = entry.path().lexically_relative(root).wstring();
    if (std::any_of(name.begin(), name.end(), [](wchar_t c) { return c > 0x7f; })) continue;
    tree.ascii[name] = entry.is_directory()
                           ? std::string("<folder>")
                           : contentsOf(entry.path()) + " @" +
                                 std::to_string(entry.last_write_time().time_since_epoch().count());
  }
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
  EXPECT_THAT(std::vector<std::wstring>(log.end() - 3, log.end()),
              ElementsAreArray({L"Progress(100)", L"Finished", kNoError}));
  EXPECT_TRUE(treeOf(fs::path(path("out"))) == treeOf(kArchives / all.at(GetParam()).tree))
      << "the extracted tree differs from " << all.at(GetParam()).tree;
}

INSTANTIATE_TEST_SUITE_P(Writers, RealArchivesTest,
                         ::testing::Values("gnu-tar.tgz", "gnu-tar-pax.tar", "bsdtar-ustar.tar.gz",
                                           "python-pax.tar.gz", "sparse-gnu.tgz", "sparse-pax-0.0.tar",
                                           "sparse-pax-0.1.tar", "sparse-pax-1.0.tar.gz", "testtar.tar.gz"),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param) name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace comtest
