// The control over the real engine host and engine, as a host drives it: a listing, an
// extraction (waiting and not), the reports of a refused destination and of a file that is
// not a tar archive, and pause, resume and cancel reaching a running job.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "control/native/console_ui.h"
#include "control/native/event_loop.h"
#include "common/utf8.h"
#include "control/zax_tar_gzip.h"
#include "tests/control/control_fakes.h"
#include "host/zip_class.h"
#include "tests/support/test_support.h"

namespace zax::testing {
namespace {

namespace fs = std::filesystem;
using Events = std::vector<std::wstring>;

std::wstring wide(const std::string& text) { return fromUtf8(text); }

bool contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

class ControlWithEngine : public ::testing::Test {
 protected:
  void TearDown() override {
    // The engine's job is process-wide: never leave one running for the next test.
    if (control.IsPolling()) {
      control.CancelExecution();
      loop.runWhile([&] { return control.IsPolling(); });
    }
    EXPECT_EQ(err.str(), "");  // no message box
  }

  std::wstring archive(const std::string& name, const zaxtest::Bytes& bytes) {
    zaxtest::writeFile(folder.nativeChild(name), bytes);
    return wide(folder.engineChild(name));
  }

  std::ostringstream out, err;
  ConsoleUserInterface ui{out, err};
  RecordingSink sink;
  EventLoop loop;
  zaxtest::TempFolder folder;
  ZAXTarGzip control{[this] { return std::make_unique<ZipClass>(ui); }, sink, ui, loop, loop};
};

zaxtest::Bytes smallArchive() {
  return zaxtest::TarBuilder()
      .directory("docs/")
      .file("docs/notes.txt", "hello\n")
      .file("run.log", "x")
      .end()
      .bytes();
}

TEST_F(ControlWithEngine, ListsAnArchive) {
  control.ZAXListTarFile(archive("small.tgz", zaxtest::gzipCompress(smallArchive())));
  ASSERT_EQ(sink.events.size(), 4u);
  EXPECT_TRUE(contains(sink.events[0], L"TarFileInformation 1 2004-6-"));
  EXPECT_TRUE(contains(sink.events[0], L"[docs/] 0 2 1"));
  EXPECT_TRUE(contains(sink.events[1], L"TarFileInformation 0 2004-6-"));
  EXPECT_TRUE(contains(sink.events[1], L"[docs/notes.txt] 6 2 1"));
  EXPECT_TRUE(contains(sink.events[2], L"[run.log] 1 2 1"));
  EXPECT_EQ(sink.events[3], L"ErrorCode 0 No error");
}

TEST_F(ControlWithEngine, ExtractsWhileTheHostWaits) {
  control.WaitExecution(true);
  control.ZAXUncompress(archive("small.tar", smallArchive()), wide(folder.engineChild("out")),
                        L"*.TXT");
  ASSERT_GE(sink.events.size(), 4u) << ::testing::PrintToString(sink.events) << err.str();
  EXPECT_EQ(sink.events.front(), L"Progress 0");
  EXPECT_EQ(Events(sink.events.end() - 3, sink.events.end()),
            (Events{L"Progress 100", L"Finished", L"ErrorCode 0 No error"}));
  EXPECT_FALSE(control.IsPolling());
  std::string text;
  ASSERT_TRUE(zaxtest::readFile(folder.nativeChild("out/docs/notes.txt"), text));
  EXPECT_EQ(text, "hello\n");
  EXPECT_FALSE(fs::exists(folder.nativeChild("out/run.log")));
}

TEST_F(ControlWithEngine, ExtractsWhileTheHostRunsItsLoop) {
  control.ZAXUncompress(archive("small.tgz", zaxtest::gzipCompress(smallArchive())),
                        wide(folder.engineChild("out")), L"*");
  EXPECT_EQ(sink.events, Events{L"Progress 0"});
  loop.runWhile([&] { return control.IsPolling(); });
  EXPECT_EQ(sink.events.back(), L"ErrorCode 0 No error");
  EXPECT_TRUE(fs::exists(folder.nativeChild("out/run.log")));
  EXPECT_TRUE(fs::exists(folder.nativeChild("out/docs/notes.txt")));
}

TEST_F(ControlWithEngine, RefusedDestinationComesWithTheEngineText) {
  control.ZAXUncompress(L"a.tar", L"out", L"");  // a refusal first: GetLastError moves on
  zaxtest::writeFile(folder.nativeChild("taken"), std::string("a file"));
  control.WaitExecution(true);
  control.ZAXUncompress(archive("small.tar", smallArchive()), wide(folder.engineChild("taken")),
                        L"*");
  EXPECT_EQ(sink.events.back(),
            L"ErrorCode 43 The path is a file , thus it cannot be created in the destination as "
            L"a path");
  EXPECT_EQ(control.GetLastError(), 43);
}

// Names reach the host whole, past the 255 characters of the engine's ANSI words: in the
// listing's events and in the names of members not extracted.
TEST_F(ControlWithEngine, LongNamesReachTheHostWhole) {
  std::string path;
  while (path.size() < 340) path += "folder-\xC3\xA9/";  // é: two bytes, one character
  path += "file.txt";
  const std::wstring name = wide(path);
  ASSERT_GT(name.size(), 300u);
  const zaxtest::Bytes bytes = zaxtest::TarBuilder()
                                   .pax({{"path", path}})
                                   .file("placeholder", "x")
                                   .pax({{"path", "../" + path}})
                                   .file("placeholder2", "y")
                                   .end()
                                   .bytes();
  const std::wstring tar = archive("long.tar", bytes);
  control.ZAXListTarFile(tar);
  ASSERT_EQ(sink.events.size(), 3u);
  EXPECT_TRUE(contains(sink.events[0], L"[" + name + L"] 1 2 0")) << sink.events[0];
  EXPECT_TRUE(contains(sink.events[1], L"[../" + name + L"] 1 2 0"));

  control.WaitExecution(true);
  control.ZAXUncompress(tar, wide(folder.engineChild("out")), L"*");
  std::wstring failed, reason;
  ASSERT_TRUE(control.GetFailedMember(0, failed, reason));
  EXPECT_EQ(failed, L"../" + name);
}

TEST_F(ControlWithEngine, MembersNotExtractedAreNamedWithTheirReasons) {
  // Before any job the engine is not even loaded: no failures, and no message box.
  EXPECT_EQ(control.NumberOfFailedMembers(), 0);
  std::wstring name = L"stale", reason = L"stale";
  EXPECT_FALSE(control.GetFailedMember(0, name, reason));
  EXPECT_EQ(name + reason, L"");

  const zaxtest::Bytes bytes = zaxtest::TarBuilder()
                                   .file("../escape.txt", "out")
                                   .file("kept.txt", "in")
                                   .file("a/../../up.txt", "out")
                                   .end()
                                   .bytes();
  control.WaitExecution(true);
  control.ZAXUncompress(archive("climb.tar", bytes), wide(folder.engineChild("out")), L"*");
  ASSERT_FALSE(sink.events.empty());
  EXPECT_EQ(sink.events.back(),
            L"ErrorCode 39 Some files of the archive could not be extracted, files not extracted: 2");
  EXPECT_EQ(control.GetLastError(), 39);
  EXPECT_EQ(control.NumberOfFailedMembers(), 2);
  ASSERT_TRUE(control.GetFailedMember(0, name, reason));
  EXPECT_EQ(name, L"../escape.txt");
  EXPECT_EQ(reason, L"its name leads out of the destination folder");
  ASSERT_TRUE(control.GetFailedMember(1, name, reason));
  EXPECT_EQ(name, L"a/../../up.txt");
  for (std::int32_t index : {2, -1}) {
    EXPECT_FALSE(control.GetFailedMember(index, name, reason)) << index;
    EXPECT_EQ(name + reason, L"") << index;
  }
  EXPECT_EQ(control.FailedMembers().size(), 2u);
  EXPECT_TRUE(fs::exists(folder.nativeChild("out/kept.txt")));
}

TEST_F(ControlWithEngine, FileThatIsNotATarArchive) {
  const std::string text(2000, 'z');
  control.ZAXListTarFile(archive("text.tar", zaxtest::Bytes(text.begin(), text.end())));
  EXPECT_EQ(sink.events, Events{L"ErrorCode 36 The file don't appear to be a valid tar file"});
}

// A plain archive of four 1 MiB files: a paused job (one block per 50 ms) is far from
// done after a few ticks.
constexpr int kParts = 4;
constexpr std::uintmax_t kPartSize = 1024 * 1024;

class SteeringTest : public ControlWithEngine {
 protected:
  void SetUp() override {
    zaxtest::TarBuilder builder;
    for (int i = 0; i < kParts; ++i) {
      builder.file("part" + std::to_string(i) + ".bin", std::string(kPartSize, char('a' + i)));
    }
    const std::wstring tarFile = archive("parts.tar", builder.end().bytes());
    // The worker forgets requests made before it started, so a busy machine can let the
    // job run to its end before the pause lands. Such a run is simply started again.
    for (int attempt = 0; attempt < 10; ++attempt) {
      destination_ = "out" + std::to_string(attempt);
      control.ZAXUncompress(tarFile, wide(folder.engineChild(destination_)), L"*");
      pauseOnceStarted();
      runTicks(2);
      if (control.IsPolling()) return;
    }
    FAIL() << "no job could be caught running";
  }

  // The worker creates the destination folder only after it has cleared the requests:
  // once the folder exists, a pause sticks.
  void pauseOnceStarted() {
    // Bounded only so that an engine that never starts fails the test instead of hanging it.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(folder.nativeChild(destination_))) {
      ASSERT_LT(std::chrono::steady_clock::now(), giveUp) << "the job never started";
      control.PauseExecution();
    }
    control.PauseExecution();
  }

  // Lets the control's timer tick about this many times.
  void runTicks(int ticks) {
    for (int i = 0; i < ticks && control.IsPolling(); ++i) {
      loop.waitForMessage();
      loop.pumpPending();
    }
  }

  std::uintmax_t extractedBytes() {
    std::uintmax_t total = 0;
    for (int i = 0; i < kParts; ++i) {
      const std::string path =
          folder.nativeChild(destination_ + "/part" + std::to_string(i) + ".bin");
      if (fs::exists(path)) total += fs::file_size(path);
    }
    return total;
  }

  std::string destination_;
};

TEST_F(SteeringTest, PauseHoldsTheJobAndResumeFinishesIt) {
  runTicks(3);
  EXPECT_TRUE(control.IsPolling());
  control.ResumeExecution();
  loop.runWhile([&] { return control.IsPolling(); });
  EXPECT_EQ(sink.events.back(), L"ErrorCode 0 No error");
  EXPECT_EQ(extractedBytes(), kParts * kPartSize);
}

TEST_F(SteeringTest, CancelEndsTheJobAndLeavesWhatWasWritten) {
  control.CancelExecution();
  loop.runWhile([&] { return control.IsPolling(); });
  EXPECT_EQ(Events(sink.events.end() - 3, sink.events.end()),
            (Events{L"Progress 100", L"Finished", L"ErrorCode 0 No error"}));
  EXPECT_LT(extractedBytes(), kParts * kPartSize);
}

}  // namespace
}  // namespace zax::testing
