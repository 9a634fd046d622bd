// Archives written by other tools (GNU tar in its gnu and pax formats, bsdtar's ustar and
// Python's tarfile), made while building, driven through the control as a host would: the
// listing raises one TarFileInformation per directory and file, with the names, sizes and
// times that Python's tarfile reads, then ErrorCode 0; the extraction with WaitExecution
// raises Progress from 0 to 100, Finished and ErrorCode 0 and leaves the exact tree.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

// expected.txt: "archive NAME", then that archive's TarFileInformation events.
std::map<std::string, std::vector<std::wstring>> expectedListings() {
  std::map<std::string, std::vector<std::wstring>> listings;
  std::ifstream in(kArchives / "expected.txt");
  std::string archive;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("archive ", 0) == 0) {
      archive = line.substr(8);
      listings[archive];
    } else if (!line.empty()) {
      listings[archive].push_back(widen(line));
    }
  }
  return listings;
}

std::string contentsOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every folder and file below a root, with each file's bytes.
std::map<std::wstring, std::string> treeOf(const fs::path& root) {
  std::map<std::wstring, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::wstring name = entry.path().lexically_relative(root).wstring();
    tree[name] = entry.is_directory() ? std::string("<folder>") : contentsOf(entry.path());
  }
  return tree;
}

class RealArchivesTest : public ActiveXTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(RealArchivesTest, ListsAsTarfileReadsItAndExtractsTheExactTree) {
  const auto listings = expectedListings();
  ASSERT_EQ(listings.count(GetParam()), 1u) << "no expectations for " << GetParam();
  std::vector<std::wstring> expected = listings.at(GetParam());
  ASSERT_FALSE(expected.empty());
  expected.push_back(kNoError);
  const std::wstring archive = (kArchives / GetParam()).wstring();

  ASSERT_EQ(control.call(L"ZAXListTarFile", {archive}).hr, S_OK);
  EXPECT_THAT(events.log(), ElementsAreArray(expected));

  events.clear();
  ASSERT_EQ(control.put(L"WaitExecution", true).hr, S_OK);
  ASSERT_EQ(control.call(L"ZAXUncompress", {archive, path("out"), L"*.*"}).hr, S_OK);
  const std::vector<std::wstring> log = events.log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.front(), L"Progress(0)");
  EXPECT_THAT(std::vector<std::wstring>(log.end() - 3, log.end()),
              ElementsAreArray({L"Progress(100)", L"Finished", kNoError}));
  EXPECT_TRUE(treeOf(fs::path(path("out"))) == treeOf(kArchives / "tree"))
      << "the extracted tree differs from the one archived";
}

INSTANTIATE_TEST_SUITE_P(Writers, RealArchivesTest,
                         ::testing::Values("gnu-tar.tgz", "gnu-tar-pax.tar", "bsdtar-ustar.tar.gz",
                                           "python-pax.tar.gz"),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param) name += isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
}  // namespace comtest
