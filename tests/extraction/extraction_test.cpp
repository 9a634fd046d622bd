// Extraction jobs end to end through the command protocol: what lands on disk, where,
// with which time, and how pause, cancel, refusals and damaged input end a job.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ctime>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "engine_client.h"
#include "job.h"
#include "platform/platform.h"

using namespace enginetest;
using zaxtest::Bytes;
using zaxtest::TarBuilder;
namespace fs = std::filesystem;

namespace {

struct Extraction {
  zaxtest::TempFolder folder;
  std::string destination;
  Extraction() : destination(folder.engineChild("out")) {}

  std::int32_t run(const Bytes& archive, const std::string& selection = "*.*") {
    zaxtest::writeFile(folder.nativeChild("a.tar"), archive);
    const std::string path = folder.engineChild("a.tar");
    call("setflaglist", 0);
    EXPECT_EQ(call("zaxuntar", text(path), text(destination), text(selection)), 0);
    waitForIdle();
    return call("getintret");
  }
  std::string out(const std::string& relative) const { return folder.nativeChild("out/" + relative); }
  bool exists(const std::string& relative) const { return fs::exists(out(relative)); }
  std::string contents(const std::string& relative) const {
    std::string data;
    EXPECT_TRUE(zaxtest::readFile(out(relative), data)) << relative;
    return data;
  }
  // Every file and folder under the extraction's folder, relative to it.
  std::vector<std::string> everything() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder.native()))
      found.push_back(fs::relative(entry.path(), folder.native()).generic_string());
    std::sort(found.begin(), found.end());
    return found;
  }
};

std::time_t modificationTime(const std::string& nativePath) {
  struct stat status {};
  EXPECT_EQ(::stat(nativePath.c_str(), &status), 0);
  return status.st_mtime;
}

}  // namespace

TEST(Extraction, SelectionPicksFilesWhileFoldersAreAlwaysMade) {
  Extraction x;
  EXPECT_EQ(x.run(TarBuilder().directory("a/").file("a/b.txt", "bee").file("a/c.dat", "sea").end().bytes(),
                  "*.txt"),
            0);
  EXPECT_TRUE(fs::is_directory(x.out("a")));
  EXPECT_EQ(x.contents("a/b.txt"), "bee");
  EXPECT_FALSE(x.exists("a/c.dat"));
}

TEST(Extraction, FilesFoldersEmptyFilesAndTimes) {
  std::tm newYear{};
  newYear.tm_year = 100;
  newYear.tm_mon = 0;
  newYear.tm_mday = 1;
  newYear.tm_isdst = -1;
  const std::time_t localNewYear = std::mktime(&newYear);
  std::string large(1 << 20, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 511);

  Extraction x;
  ASSERT_EQ(x.run(TarBuilder()
                      .add({"sub/dir/file.txt", '0', "no folder entries", localNewYear})
                      .add({"empty", '0', "", localNewYear})
                      .file("large.bin", large)
                      .file("exact", std::string(512, 'e'))
                      .end()
                      .bytes()),
            0);
  EXPECT_EQ(x.contents("sub/dir/file.txt"), "no folder entries");
  EXPECT_EQ(modificationTime(x.out("sub/dir/file.txt")), localNewYear);
  EXPECT_EQ(x.contents("empty"), "");
  EXPECT_EQ(modificationTime(x.out("empty")), localNewYear);
  EXPECT_EQ(x.contents("large.bin"), large);
  EXPECT_EQ(x.contents("exact"), std::string(512, 'e'));
}

TEST(Extraction, ExistingFilesAreReplaced) {
  Extraction x;
  fs::create_directories(x.out(""));
  zaxtest::writeFile(x.out("f"), std::string(5000, 'o'));
  ASSERT_EQ(x.run(TarBuilder().file("f", "new").end().bytes()), 0);
  EXPECT_EQ(x.contents("f"), "new");
}

TEST(Extraction, NothingIsWrittenOutsideTheDestination) {
  Extraction x;
  const Bytes archive = TarBuilder()
                            .file("/abs/root.txt", "1")
                            .file("\\back\\slash.txt", "2")
                            .file("c:/drive.txt", "3")
                            .file("C:\\drive2.txt", "4")
                            .file("../escape.txt", "5")
                            .file("a/../../escape2.txt", "6")
                            .file("a\\..\\..\\escape3.txt", "7")
                            .directory("../escaped-dir/")
                            .file("kept.txt", "8")
                            .end()
                            .bytes();
  ASSERT_EQ(x.run(archive), 0);
  EXPECT_EQ(x.everything(),
            (std::vector<std::string>{"a.tar", "out", "out/abs", "out/abs/root.txt", "out/back",
                                      "out/back/slash.txt", "out/drive.txt", "out/drive2.txt",
                                      "out/kept.txt"}));
  EXPECT_EQ(x.contents("kept.txt"), "8") << "skipped members' data is read past";
}

TEST(Extraction, AFileThatCannotBeOpenedIsPassedOverQuietly) {
  // Stands for an existing read-only file: the open fails and the member is skipped.
  Extraction x;
  platform::testHooks().openOutputFile = [](const std::string& path) -> std::FILE* {
    if (path.find("locked") != std::string::npos) return nullptr;
    return std::fopen(platform::nativePath(path).value_or(path).c_str(), "wb");
  };
  const std::int32_t result =
      x.run(TarBuilder().file("locked", std::string(3000, 'l')).file("next", "n").end().bytes());
  platform::testHooks().openOutputFile = nullptr;
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(x.exists("locked"));
  EXPECT_EQ(x.contents("next"), "n");
}

TEST(Extraction, CancelLeavesThePartFileUntimedAndEndsWithZero) {
  Extraction x;
  platform::testHooks().openOutputFile = [](const std::string& path) -> std::FILE* {
    // The host's cancel arrives while the big member is being written.
    if (path.find("big") != std::string::npos) untgz::jobState().cancelFlag.store(1);
    return std::fopen(platform::nativePath(path).value_or(path).c_str(), "wb");
  };
  const std::time_t before = std::time(nullptr);
  const std::int32_t result = x.run(TarBuilder()
                                        .add({"first", '0', "1", 0})
                                        .add({"big", '0', std::string(100000, 'b'), 0})
                                        .file("after", "a")
                                        .end()
                                        .bytes());
  platform::testHooks().openOutputFile = nullptr;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(x.contents("first"), "1");
  EXPECT_EQ(modificationTime(x.out("first")), 0);
  ASSERT_TRUE(x.exists("big"));
  EXPECT_LT(x.contents("big").size(), 100000u);
  EXPECT_GE(modificationTime(x.out("big")), before);
  EXPECT_FALSE(x.exists("after"));
}

TEST(Extraction, PauseSlowsTheWalkButChangesNothing) {
  Extraction x;
  platform::testHooks().openOutputFile = [](const std::string& path) -> std::FILE* {
    // Paused from the start of the member, resumed once the walk has slept a few times.
    if (path.find("slow") != std::string::npos) untgz::jobState().pauseFlag.store(1);
    return std::fopen(platform::nativePath(path).value_or(path).c_str(), "wb");
  };
  std::thread resume([] {
    while (untgz::jobState().pauseFlag.load() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    untgz::jobState().pauseFlag.store(0);
  });
  const std::string data(5000, 's');
  const std::int32_t result = x.run(TarBuilder().file("slow", data).file("then", "t").end().bytes());
  resume.join();
  platform::testHooks().openOutputFile = nullptr;
  EXPECT_EQ(result, 0);
  EXPECT_EQ(x.contents("slow"), data);
  EXPECT_EQ(x.contents("then"), "t");
}

TEST(Extraction, RefusedDestinationEndsTheJobBeforeTheArchiveIsRead) {
  Extraction x;
  x.destination = "relative\\folder";
  EXPECT_EQ(x.run(TarBuilder().file("f", "x").end().bytes()), 42);
  EXPECT_NE(textResult("geterrorstring"), "");
  const std::string message = textResult("geterrorstring");
  // A later successful job leaves the message in place.
  x.destination = x.folder.engineChild("fine");
  EXPECT_EQ(x.run(TarBuilder().file("f", "x").end().bytes()), 0);
  EXPECT_EQ(textResult("geterrorstring"), message);
}

TEST(Extraction, DamagedInputKeepsWhatWasWritten) {
  Extraction x;
  Bytes archive = TarBuilder().file("whole", "w").file("cut", std::string(3000, 'c')).bytes();
  archive.resize(archive.size() - 1024);
  EXPECT_EQ(x.run(archive), 8);
  EXPECT_EQ(x.contents("whole"), "w");
  EXPECT_EQ(x.contents("cut").size(), 2048u) << "the blocks before the cut are kept";
}

TEST(Extraction, DamageInACompressedArchiveIsReportedEvenPastTheEndMarker) {
  // Stored blocks (level 0), and the archive padded to a 1 MiB record as GNU tar -b 2048
  // writes it: the flipped byte reaches the file unseen by inflate, the CRC comes after
  // the end marker.
  std::string data(64 * 1024, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 23);
  Bytes archive = zaxtest::gzipCompress(TarBuilder().file("f", data).end().raw(Bytes(1 << 20, 0)).bytes(), 0);
  const Bytes sample(data.begin() + 40000, data.begin() + 40032);
  const auto at = std::search(archive.begin(), archive.end(), sample.begin(), sample.end());
  ASSERT_NE(at, archive.end());
  *at ^= 0x01;
  Extraction x;
  EXPECT_EQ(x.run(archive), 3);
  EXPECT_NE(x.contents("f"), data);
}

TEST(Extraction, UnknownTypeflagsAreWrittenAsFilesVendorExtensionsAreNot) {
  Extraction x;
  EXPECT_EQ(x.run(TarBuilder().add({"future", '8', "eight"}).add({"vendor", 'Q', "queue"}).end().bytes()), 0);
  EXPECT_EQ(x.contents("future"), "eight");
  EXPECT_FALSE(x.exists("vendor"));
}
