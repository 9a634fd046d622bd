// Deploying, verifying and loading the engine under the user's temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "host/adler32.h"
#include "host/engine_file.h"
#include "tests/host/host_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace hosttest;

namespace {

Image readAll(const std::string& path) {
  std::string contents;
  EXPECT_TRUE(zaxtest::readFile(path, contents)) << path;
  return Image(contents.begin(), contents.end());
}

void writeAll(const std::string& path, const Image& bytes) {
  zaxtest::writeFile(path, zaxtest::Bytes(bytes.begin(), bytes.end()));
}

// The folder as Init would have made it: owner-only natively.
void makeDeploymentFolder(const std::string& path) {
  fs::create_directories(path);
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
}

// The image with three neighbouring bytes moved so that both sums of the checksum stay equal.
Image sameChecksumOtherBytes(const Image& image) {
  for (std::size_t i = 0; i + 2 < image.size(); ++i) {
    if (image[i] == 255 || image[i + 1] < 2 || image[i + 2] == 255) continue;
    Image other = image;
    ++other[i];
    other[i + 1] -= 2;
    ++other[i + 2];
    if (zax::Adler32(other) == zax::Adler32(image)) return other;
  }
  ADD_FAILURE() << "no checksum twin found";
  return {};
}

void expectEveryWrapperRefuses(zax::ZipClass& host, RecordingMessageBoxes& boxes,
                               const std::wstring& message) {
  boxes.shown.clear();
  std::wstring word = L"status", buffer(300, L' '), operand = L" ";
  EXPECT_EQ(host.CallWindow(L"status", L" ", L" ", L" "), 0);
  EXPECT_EQ(host.CallWindow2(word, buffer, operand, 0), 0);
  EXPECT_EQ(host.CallWindowLONG(L"status", 0, 0, 0), 0);
  EXPECT_EQ(host.CallWindowInt(L"status", 0, 0, 0), 0);
  EXPECT_EQ(boxes.shown, std::vector<std::wstring>(4, message));
  EXPECT_EQ(buffer, std::wstring(300, L' ')) << "nothing is written back";
}

const wchar_t kNoLibrary[] = L"error loading the dll";
const wchar_t kNoEntry[] = L"error locating the interface1 function ";

TEST_F(HostTest, FirstUseCreatesTheFolderChainWritesTheImageAndLoads) {
  // The temporary folder itself does not exist yet either.
  const std::string nested = temp.nativeChild("a/b");
  TemporaryFolderVariable pointAtNested(nested);
  zax::ZipClass& host = makeHost();

  EXPECT_EQ(host.GetTempPathString(), wide(zaxtest::enginePath(nested) + "\\"));
  host.Init(false);

  EXPECT_TRUE(host.IsLoaded());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(host.enginePath(),
            wide(zaxtest::enginePath(nested) + "\\ZAXSoftware\\" + zax::kEngineFileName));
  const fs::path folder = fs::path(nested) / "ZAXSoftware";
  EXPECT_EQ(readAll((folder / zax::kEngineFileName).string()), engineImage());
#ifndef _WIN32
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
#endif
  EXPECT_EQ(host.CallWindowLONG(L"status", 0, 0, 0), 0);
}

TEST_F(HostTest, IdenticalFileIsLoadedWithoutBeingRewritten) {
  zax::ZipClass& first = makeHost();
  first.Init(false);
  ASSERT_TRUE(first.IsLoaded());
  first.Deinit();
  const auto past = fs::last_write_time(deployedFile()) - std::chrono::hours(24 * 30);
  fs::last_write_time(deployedFile(), past);

  zax::ZipClass& second = makeHost();
  second.Init(false);

  EXPECT_TRUE(second.IsLoaded());
  EXPECT_EQ(fs::last_write_time(deployedFile()), past);
  EXPECT_EQ(readAll(deployedFile()), engineImage());
}

struct StaleFile {
  const char* name;
  Image (*make)(const Image& image);
};

class StaleFileIsReplaced : public HostTest, public testing::WithParamInterface<StaleFile> {};

TEST_P(StaleFileIsReplaced, ThenLoaded) {
  const Image stale = GetParam().make(engineImage());
  ASSERT_NE(stale, engineImage());
  makeDeploymentFolder(deploymentFolder());
  writeAll(deployedFile(), stale);

  zax::ZipClass& host = makeHost();
  host.Init(false);

  EXPECT_TRUE(host.IsLoaded());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(readAll(deployedFile()), engineImage());
}

const StaleFile kStaleFiles[] = {
    {"OneByteChanged",
     [](const Image& image) {
       Image other = image;
       other[image.size() / 2] ^= 0x5A;
       return other;
     }},
    {"CutShort", [](const Image& image) { return Image(image.begin(), image.begin() + 4096); }},
    {"LongerByOneByte",
     [](const Image& image) {
       Image other = image;
       other.push_back(0);
       return other;
     }},
    {"ZeroLength", [](const Image&) { return Image(); }},
    {"SameChecksumOtherBytes", sameChecksumOtherBytes},
};
INSTANTIATE_TEST_SUITE_P(Deployment, StaleFileIsReplaced, testing::ValuesIn(kStaleFiles),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostTest, SecondInitTouchesNothing) {
  zax::ZipClass& host = makeHost();
  host.Init(false);
  ASSERT_TRUE(host.IsLoaded());
  const std::wstring path = host.enginePath();

  zaxtest::TempFolder elsewhere;
  TemporaryFolderVariable pointElsewhere(elsewhere.native());
  host.Init(false);

  EXPECT_TRUE(fs::is_empty(elsewhere.native()));
  EXPECT_EQ(host.enginePath(), path);
  EXPECT_TRUE(host.IsLoaded());
}

// What stands where the deployment folder or the temporary folder should be.
struct BadFolder {
  const char* name;
  void (*arrange)(const zaxtest::TempFolder& temp);
};

class FolderIsRefused : public HostTest, public testing::WithParamInterface<BadFolder> {};

TEST_P(FolderIsRefused, WithErrorSeventy) {
  GetParam().arrange(temp);
  zax::ZipClass& host = makeHost();
  try {
    host.Init(false);
    FAIL() << "no error raised";
  } catch (const zax::HostError& error) {
    EXPECT_EQ(error.number(), 70);
    // The folder's name, then (natively, where a folder can be refused for what it is)
    // why it is refused.
    std::string expected = "Unable to create the destination folder " + temp.engine() + "\\ZAXSoftware\\";
#ifndef _WIN32
    expected += ": ";
#endif
    EXPECT_EQ(error.description().substr(0, expected.size()), expected);
  }
  EXPECT_FALSE(host.IsLoaded());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(fs::exists(fs::path(temp.native()) / "ZAXSoftware" / zax::kEngineFileName));
}

const BadFolder kBadFolders[] = {
    {"FileInItsPlace",
     [](const zaxtest::TempFolder& temp) {
       zaxtest::writeFile(temp.nativeChild("ZAXSoftware"), std::string("x"));
     }},
#ifndef _WIN32
    // Natively another account must not be able to plant the library this process loads.
    {"GroupWritable",
     [](const zaxtest::TempFolder& temp) {
       fs::create_directory(temp.nativeChild("ZAXSoftware"));
       fs::permissions(temp.nativeChild("ZAXSoftware"), fs::perms::owner_all | fs::perms::group_all,
                       fs::perm_options::replace);
     }},
    {"OthersWritable",
     [](const zaxtest::TempFolder& temp) {
       fs::create_directory(temp.nativeChild("ZAXSoftware"));
       fs::permissions(temp.nativeChild("ZAXSoftware"), fs::perms::owner_all | fs::perms::others_write,
                       fs::perm_options::replace);
     }},
    {"LinkToAPrivateFolder",
     [](const zaxtest::TempFolder& temp) {
       makeDeploymentFolder(temp.nativeChild("real"));
       fs::create_directory_symlink(temp.nativeChild("real"), temp.nativeChild("ZAXSoftware"));
     }},
#endif
};
INSTANTIATE_TEST_SUITE_P(Deployment, FolderIsRefused, testing::ValuesIn(kBadFolders),
                         [](const auto& info) { return std::string(info.param.name); });

#ifndef _WIN32
TEST_F(HostTest, FolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the folder away";
  makeDeploymentFolder(deploymentFolder());
  writeAll(deployedFile(), engineImage());
  ASSERT_EQ(::chown(deploymentFolder().c_str(), 65534, 65534), 0);

  zax::ZipClass& host = makeHost();
  EXPECT_THROW(
      {
        try {
          host.Init(false);
        } catch (const zax::HostError& error) {
          EXPECT_EQ(error.number(), 70);
          // The message says what is wrong, not merely that the folder could not be made.
          EXPECT_NE(error.description().find("ZAXSoftware\\: it belongs to another user (uid 65534)"),
                    std::string::npos)
              << error.description();
          throw;
        }
      },
      zax::HostError);
  EXPECT_FALSE(host.IsLoaded());

  // A folder of this user's own, in a folder another user owns, is refused as well: the
  // other user could swap it.
  ASSERT_EQ(::chown(deploymentFolder().c_str(), ::geteuid(), ::getegid()), 0);
  const std::string above = fs::path(deploymentFolder()).parent_path().string();
  ASSERT_EQ(::chown(above.c_str(), 65534, 65534), 0);
  try {
    host.Init(false);
    ADD_FAILURE() << "Init went through";
  } catch (const zax::HostError& error) {
    EXPECT_EQ(error.number(), 70);
    EXPECT_NE(error.description().find("the folder above belongs to another user"), std::string::npos)
        << error.description();
  }
  ASSERT_EQ(::chown(above.c_str(), ::geteuid(), ::getegid()), 0);
  EXPECT_FALSE(host.IsLoaded());
}
#endif

TEST_F(HostTest, NoTemporaryFolderRaisesUnexpectedError) {
  zax::ZipClassSeams seams;
  seams.temporaryFolder = [] { return std::string(); };
  zax::ZipClass& host = makeHost(std::move(seams));

  EXPECT_EQ(host.GetTempPathString(), L"");
  try {
    host.Init(false);
    FAIL() << "no error raised";
  } catch (const zax::HostError& error) {
    EXPECT_EQ(error.number(), 5001);
    EXPECT_EQ(error.description().rfind("Unexpected error , please contact the developer ", 0), 0u)
        << error.description();
  }
  EXPECT_FALSE(host.IsLoaded());
}

TEST_F(HostTest, TemporaryFolderAlwaysEndsInTheSeparator) {
  for (const char* answer : {"C:\\TEMP", "C:\\TEMP\\"}) {
    zax::ZipClassSeams seams;
    seams.temporaryFolder = [answer] { return std::string(answer); };
    EXPECT_EQ(makeHost(std::move(seams)).GetTempPathString(), L"C:\\TEMP\\") << answer;
  }
}

TEST_F(HostTest, LibraryThatDoesNotLoadIsReported) {
  const std::string junk = "this is not a library";
  zax::ZipClass& host = makeHostWithImage(Image(junk.begin(), junk.end()));
  host.Init(false);

  EXPECT_EQ(boxes.shown, std::vector<std::wstring>{kNoLibrary});
  EXPECT_FALSE(host.IsLoaded());
  expectEveryWrapperRefuses(host, boxes, kNoLibrary);
}

TEST_F(HostTest, LibraryWithoutTheEntryIsReportedOnEveryInit) {
  zax::ZipClass& host = makeHostWithImage(fileNextToTheProgram(ZAX_NO_ENTRY_FILE));
  host.Init(false);
  EXPECT_EQ(boxes.shown, std::vector<std::wstring>{kNoEntry});
  EXPECT_FALSE(host.IsLoaded());
  expectEveryWrapperRefuses(host, boxes, kNoEntry);

  boxes.shown.clear();
  host.Init(false);
  EXPECT_EQ(boxes.shown, std::vector<std::wstring>{kNoEntry}) << "nothing loaded, so Init runs again";
}

TEST_F(HostTest, NothingLoadedBeforeInitAndAfterDeinit) {
  zax::ZipClass& host = makeHost();
  host.Deinit();  // never loaded: nothing happens
  EXPECT_FALSE(host.IsLoaded());
  expectEveryWrapperRefuses(host, boxes, kNoLibrary);

  host.Init(false);
  ASSERT_TRUE(host.IsLoaded());
  host.Deinit();
  EXPECT_FALSE(host.IsLoaded());
  expectEveryWrapperRefuses(host, boxes, kNoLibrary);
  EXPECT_TRUE(fs::exists(deployedFile())) << "the engine file stays";
}

TEST_F(HostTest, CreateNewDirectoryBuildsTheWholeChain) {
  zax::ZipClass& host = makeHost();
  EXPECT_TRUE(host.CreateNewDirectory(wide(temp.engine() + "\\A\\B\\")));
  EXPECT_TRUE(fs::is_directory(temp.nativeChild("A/B")));
  EXPECT_TRUE(host.CreateNewDirectory(wide(temp.engine() + "\\C\\D")));
  EXPECT_TRUE(fs::is_directory(temp.nativeChild("C/D")));
  EXPECT_TRUE(host.CreateNewDirectory(wide(temp.engine() + "\\A\\B")));  // already there

  zaxtest::writeFile(temp.nativeChild("file"), std::string("x"));
  EXPECT_FALSE(host.CreateNewDirectory(wide(temp.engine() + "\\file\\E")));
  EXPECT_FALSE(host.CreateNewDirectory(wide(temp.engine() + "\\file")));
}

TEST_F(HostTest, ResourceAndFileChecksums) {
  zax::ZipClass& host = makeHost();
  EXPECT_EQ(host.ExtractResAdler32(1), zax::Adler32(engineImage()));
  EXPECT_EQ(host.ExtractResAdler32(2), 0) << "no such resource";

  zaxtest::writeFile(temp.nativeChild("empty"), std::string());
  EXPECT_EQ(host.Adler32file(wide(temp.engineChild("empty"))), 0);
  zaxtest::writeFile(temp.nativeChild("abc"), std::string("abc"));
  EXPECT_EQ(host.Adler32file(wide(temp.engineChild("abc"))), 38404390);
  EXPECT_ANY_THROW(host.Adler32file(wide(temp.engineChild("missing"))));

  host.ExtractRes(wide(temp.engineChild("copy")), 1);
  EXPECT_EQ(readAll(temp.nativeChild("copy")), engineImage());
  host.ExtractRes(wide(temp.engineChild("none")), 2);  // silently nothing
  EXPECT_FALSE(fs::exists(temp.nativeChild("none")));

  host.ZAXKill(wide(temp.engineChild("copy")));
  EXPECT_FALSE(fs::exists(temp.nativeChild("copy")));
  host.ZAXKill(wide(temp.engineChild("copy")));  // already gone: ignored
}

}  // namespace
