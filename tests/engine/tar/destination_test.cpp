// Destination folders: the codes of malformed and unusable paths, the creation of
// missing folders, and the gate that turns a refusal into a job result and message.
#include "engine/tar/destination.h"

#include <gtest/gtest.h>

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/tar/test_hooks.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct CodeCase {
  const char* path;
  int code;
};

std::ostream& operator<<(std::ostream& out, const CodeCase& c) {
  return out << "'" << c.path << "' -> " << c.code;
}

class MalformedDestination : public testing::TestWithParam<CodeCase> {};

TEST_P(MalformedDestination, IsRefusedBeforeAnythingIsCreated) {
  EXPECT_EQ(untgz::validateDestination(GetParam().path), GetParam().code);
}

const CodeCase kMalformed[] = {
    {"", 1},
    {"a", 7},
    {"/", 7},
    {"out", 2},
    {"out\\sub", 2},
    {"1:\\out", 2},
    {":\\out", 2},
    {"\\out", 2},
    {"\\\\", 2},
    {"c:\\x:y", 8},
    {"c:/out", 13},
    {"c:\\a*b", 10},
    {"\\\\server\\share\\a?b", 9},
    // One of each forbidden character, each row holding the ones tested after it, so
    // that the first in test order decides.
    {"c:\\a:/*?<>\"|", 8},
    {"c:\\a/*?<>\"|", 13},
    {"c:\\a*?<>\"|", 10},
    {"c:\\a?<>\"|", 9},
    {"c:\\a<>\"|", 11},
    {"c:\\a>\"|", 12},
    {"c:\\a\"|", 14},
    {"c:\\a|", 16},
};
INSTANTIATE_TEST_SUITE_P(Codes, MalformedDestination, testing::ValuesIn(kMalformed));

// A drive path on a drive letter that does not exist here.
std::string missingDrivePath() {
#ifdef _WIN32
  const DWORD drives = ::GetLogicalDrives();
  for (char letter = 'Y'; letter >= 'B'; --letter) {
    if ((drives & (1u << (letter - 'A'))) == 0) return std::string(1, letter) + ":\\zax-out";
  }
  throw std::runtime_error("every drive letter is in use");
#else
  return "Q:\\zax-out";
#endif
}

// A UNC path on a server that cannot be reached.
std::string unreachableUncPath() { return "\\\\zax-no-such-server.invalid\\share\\out"; }

TEST(UnusableDestination, UnknownDriveGives4) {
  EXPECT_EQ(untgz::validateDestination(missingDrivePath()), 4);
}

TEST(UnusableDestination, UnreachableUncServerGives6) {
  EXPECT_EQ(untgz::validateDestination(unreachableUncPath()), 6);
}

// Paths under a scratch folder; the writable-folder probe can be answered by the test
// through its own hooks, which go with it.
class DestinationOnDisk : public testing::Test {
 protected:
  void writeFile(const std::string& relative) {
    std::ofstream(native(relative)) << "data";
  }

  // Answers every probe with `writable` and records the folders asked about.
  void answerProbes(bool writable) {
    hooks.probeWritableFolder = [this, writable](const std::string& folder) {
      probed.push_back(folder);
      return writable;
    };
  }

  // The folder itself, or a path below it ("a\\b"), in the engine's form and in the form
  // the standard library opens; the root of its drive ("Z:\\" on Linux).
  std::string engine(const std::string& relative = "") const {
    return relative.empty() ? folder.engine() : folder.engineChild(relative);
  }
  fs::path native(const std::string& relative = "") const {
    return relative.empty() ? fs::path(folder.native()) : fs::path(folder.nativeChild(relative));
  }
  std::string driveRoot() const { return engine().substr(0, 3); }

  zaxtest::TempFolder folder;
  untgz::TestHooks hooks;
  std::vector<std::string> probed;
};

TEST_F(DestinationOnDisk, CreatesEveryMissingFolder) {
  EXPECT_EQ(untgz::validateDestination(engine("a\\b\\c")), 0);
  EXPECT_TRUE(fs::is_directory(native("a\\b\\c")));
}

TEST_F(DestinationOnDisk, TrailingBackslashNamesTheSameFolder) {
  EXPECT_EQ(untgz::validateDestination(engine("out\\")), 0);
  EXPECT_TRUE(fs::is_directory(native("out")));
  EXPECT_EQ(untgz::validateDestination(engine("out\\")), 0);
}

TEST_F(DestinationOnDisk, ExistingWritableFolderGives0AndKeepsNoProbeFile) {
  EXPECT_EQ(untgz::validateDestination(engine()), 0);
  EXPECT_TRUE(fs::is_empty(native()));
}

TEST_F(DestinationOnDisk, DriveRootKeepsItsBackslash) {
  answerProbes(true);
  EXPECT_EQ(untgz::validateDestination(driveRoot(), hooks), 0);
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0], driveRoot());
}

TEST_F(DestinationOnDisk, FolderThatRefusesFilesGives15) {
  answerProbes(false);
  EXPECT_EQ(untgz::validateDestination(engine("ro"), hooks), 15);
  EXPECT_TRUE(fs::is_directory(native("ro")));
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0], engine("ro\\"));
}

TEST_F(DestinationOnDisk, ExistingFileGives3) {
  writeFile("file.txt");
  EXPECT_EQ(untgz::validateDestination(engine("file.txt")), 3);
  EXPECT_EQ(untgz::validateDestination(engine("file.txt\\")), 3);
  EXPECT_EQ(untgz::validateDestination(engine("file.txt\\sub")), 4);
  EXPECT_TRUE(fs::is_regular_file(native("file.txt")));
}

TEST_F(DestinationOnDisk, LongPathsAreCheckedWhole) {
  const std::string deep = std::string(60, 'a') + "\\" + std::string(60, 'b') + "\\" +
                           std::string(60, 'c') + "\\" + std::string(60, 'd') + "\\" +
                           std::string(60, 'e');
  EXPECT_EQ(untgz::validateDestination(engine(deep) + "?"), 9);
  // Past MAX_PATH: Windows takes it in the long form, as Linux takes it.
  EXPECT_EQ(untgz::validateDestination(engine(deep)), 0);
  EXPECT_TRUE(fs::is_directory(native(deep)));
}

TEST_F(DestinationOnDisk, CreateDirectoryPathJoinsRootAndMemberFolders) {
  EXPECT_EQ(untgz::createDirectoryPath(engine(), "sub/dir/"), 0);
  EXPECT_TRUE(fs::is_directory(native("sub\\dir")));
  EXPECT_EQ(untgz::createDirectoryPath(engine() + "\\", "other"), 0);
  EXPECT_TRUE(fs::is_directory(native("other")));
  EXPECT_EQ(untgz::createDirectoryPath(engine("alone/x")), 0);
  EXPECT_TRUE(fs::is_directory(native("alone\\x")));
  writeFile("file.txt");
  EXPECT_EQ(untgz::createDirectoryPath(engine(), "file.txt"), 3);
}

TEST(CreateDirectoryPath, ShortPathsAreRefused) {
  EXPECT_EQ(untgz::createDirectoryPath(""), 1);
  EXPECT_EQ(untgz::createDirectoryPath("a"), 7);
  EXPECT_EQ(untgz::createDirectoryPath("/"), 7);
  EXPECT_EQ(untgz::createDirectoryPath("out/sub"), 2);
}

TEST_F(DestinationOnDisk, ExistenceTestsOnlyAcceptDriveAndUncPaths) {
  writeFile("file.txt");
  struct Row {
    std::string path;
    bool directory;
    bool file;
    int readOnly;
  };
  const Row rows[] = {
      {engine(), true, false, 0},
      {engine("file.txt"), false, true, -1},
      {engine("missing"), false, false, -1},
      {".", false, false, -1},
      {"..", false, false, -1},
      {"", false, false, -1},
      {missingDrivePath(), false, false, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(untgz::isExistingDirectory(row.path), row.directory);
    EXPECT_EQ(untgz::isExistingFile(row.path), row.file);
    EXPECT_EQ(untgz::isReadOnlyDirectory(row.path), row.readOnly);
  }
  answerProbes(false);
  EXPECT_EQ(untgz::isReadOnlyDirectory(engine(), hooks), 1);
  ASSERT_EQ(probed.size(), 1u);
  EXPECT_EQ(probed[0], engine() + "\\");
}

TEST(PathErrorText, GivesTheMessageOfEachCode) {
  const char* const kTexts[] = {
      "No error",
      "Path is empty",
      "Path has invalid characters",
      "The path is a file , thus it cannot be created in the destination as a path",
      "Unable to create the destination directory , possible drive invalid or read only ",
      "The UNC path is a file , thus it cannot be created in the destination as a path",
      ("Unable to create the destination directory , possible UNC path invalid or "
       "disconnected or read only "),
      "You need at least two characters to a path like this a: ",
      "Too many characters : on the path ",
      "Invalid character ? on the path ",
      "Invalid character * on the path ",
      "Invalid character < on the path ",
      "Invalid character > on the path ",
      "Invalid character / on the path ",
      "Invalid character \" on the path ",
      "Path is read only ",
      "Invalid character | on the path ",
  };
  for (int code = 0; code <= 16; ++code) {
    EXPECT_STREQ(untgz::pathErrorText(code), kTexts[code]) << "code " << code;
  }
  for (int code : {-1, 17, 40, 56}) {
    EXPECT_STREQ(untgz::pathErrorText(code),
                 "Unexpected return value to the function to create directories")
        << "code " << code;
  }
}

TEST_F(DestinationOnDisk, GateKeepsTheDestinationAsGivenAndCreatesIt) {
  std::string outputRoot;
  std::string errorText = "earlier failure";
  const std::string destination = engine("out\\");
  EXPECT_EQ(untgz::prepareDestination(destination, outputRoot, errorText), 0);
  EXPECT_EQ(outputRoot, destination);
  EXPECT_EQ(errorText, "earlier failure");
  EXPECT_TRUE(fs::is_directory(native("out")));
}

TEST_F(DestinationOnDisk, GateAsksTheJobsProbe) {
  answerProbes(false);
  std::string outputRoot;
  std::string errorText;
  EXPECT_EQ(untgz::prepareDestination(engine("ro"), outputRoot, errorText, hooks), 55);
  EXPECT_EQ(errorText, "Path is read only ");
  EXPECT_EQ(probed.size(), 1u);
}

TEST(DestinationGate, RefusalGives40PlusCodeWithItsMessage) {
  const CodeCase kRefused[] = {{"out", 2}, {"c:\\a|b", 16}, {"x", 7}};
  for (const CodeCase& c : kRefused) {
    SCOPED_TRACE(c.path);
    std::string outputRoot;
    std::string errorText;
    EXPECT_EQ(untgz::prepareDestination(c.path, outputRoot, errorText), 40 + c.code);
    EXPECT_EQ(outputRoot, c.path);
    EXPECT_EQ(errorText, untgz::pathErrorText(c.code));
  }
}

}  // namespace
