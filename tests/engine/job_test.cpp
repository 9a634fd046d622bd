// The job: start, refusal while running, the worker's resets, failures to start, the
// percentage and the thread lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine_client.h"
#include "engine/platform/platform.h"

using namespace enginetest;

namespace {

// Holds the worker back until the test lets it run.
class HeldWorker {
 public:
  HeldWorker() {
    platform::testHooks().startDetachedThread = [this](void (*procedure)()) {
      procedure_ = procedure;
      return true;
    };
  }
  ~HeldWorker() { platform::testHooks().startDetachedThread = nullptr; }
  void run() {
    ASSERT_NE(procedure_, nullptr);
    std::thread(procedure_).join();
    procedure_ = nullptr;
  }

 private:
  void (*procedure_)() = nullptr;
};

struct JobFiles {
  zaxtest::TempFolder folder;
  std::string archive, root = "c:\\", all = "*.*";
  JobFiles() {
    zaxtest::writeFile(folder.nativeChild("a.tar"),
                       zaxtest::TarBuilder().directory("a/").file("a/x", "0123456789").end().bytes());
    archive = folder.engineChild("a.tar");
  }
};

}  // namespace

TEST(Job, SecondStartIsRefusedWhileTheFirstRuns) {
  JobFiles files;
  HeldWorker worker;
  call("setflaglist", 1);
  ASSERT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), 0);
  EXPECT_EQ(call("status"), 1);
  EXPECT_EQ(call("getintret"), 0);
  const std::string other = files.folder.engineChild("missing.tar");
  EXPECT_EQ(call("zaxuntar", text(other), text(files.root), text(files.all)), -1);
  EXPECT_EQ(call("uncompress", text(other), text(files.root)), -1);
  worker.run();
  EXPECT_EQ(call("status"), 0);
  EXPECT_EQ(call("getintret"), 0) << "the first job ran on its own archive";
  EXPECT_EQ(call("getnumfiles"), 1);
  call("tarinfodelete");
}

TEST(Job, AWorkerThatCannotStartEndsTheJob) {
  JobFiles files;
  platform::testHooks().startDetachedThread = [](void (*)()) { return false; };
  EXPECT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), 0);
  platform::testHooks().startDetachedThread = nullptr;
  EXPECT_EQ(call("status"), 0);
  EXPECT_EQ(call("getintret"), 5);
}

TEST(Job, OutcomesOfArchivesThatCannotBeRead) {
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("empty.tar"), zaxtest::Bytes());
  struct Case { const char* name; std::string path; std::int32_t result; };
  const Case cases[] = {
      {"missing file", folder.engineChild("missing.tar"), 5},
      {"a folder", folder.engine(), 5},
      {"empty file", folder.engineChild("empty.tar"), 8},
      {"path on a drive that does not exist here", "Q:\\nowhere\\a.tar", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Listing listing = listArchive(c.path);
    EXPECT_EQ(listing.result, c.result);
    EXPECT_TRUE(listing.entries.empty());
  }
#ifndef _WIN32
  // On the native build only drive Z: exists.
  EXPECT_EQ(listArchive("C:\\a.tar").result, 5);
#endif
}

TEST(Job, PercentageFollowsTheArchiveFileAndStaysAfterTheJob) {
  std::string big(300000, 'x');
  const zaxtest::Bytes tar = zaxtest::TarBuilder().file("big", big).end().bytes();
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed);
    zaxtest::TempFolder folder;
    zaxtest::writeFile(folder.nativeChild("a"), compressed ? zaxtest::gzipCompress(tar) : tar);
    const Listing listing = listArchive(folder.engineChild("a"));
    ASSERT_EQ(listing.result, 0);
    EXPECT_EQ(call("getporcentagem"), 100);
    EXPECT_EQ(call("getporcentagem"), 100);
  }
  // A job whose archive cannot be opened has no size and shows 0.
  listArchive("Q:\\missing.tar");
  EXPECT_EQ(call("getporcentagem"), 0);
}

TEST(Job, UncompressKeepsThePreviousSelection) {
  // "uncompress" runs the same job without touching the stored selection; in listing mode
  // it lists.
  JobFiles files;
  call("setflaglist", 1);
  ASSERT_EQ(call("uncompress", text(files.archive), text(files.root)), 0);
  waitForIdle();
  EXPECT_EQ(call("getintret"), 0);
  EXPECT_EQ(call("getnumfiles"), 1);
  call("tarinfodelete");
}

#ifndef _WIN32
TEST(Job, WorkerWritesThreadLines) {
  std::mutex lock;
  std::vector<std::string> lines;
  platform::testHooks().debugOutput = [&](const char* text) {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back(text);
  };
  JobFiles files;
  listArchive(files.archive);
  for (int i = 0; i < 5000; ++i) {
    {
      std::lock_guard<std::mutex> guard(lock);
      if (lines.size() >= 2) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  platform::testHooks().debugOutput = nullptr;
  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(lines, (std::vector<std::string>{"DLL_THREAD_ATTACH \n", "DLL_THREAD_DETACH \n"}));
}
#endif

TEST(Job, PauseAndCancelDoNotReachAListing) {
  zaxtest::TarBuilder builder;
  for (int i = 0; i < 200; ++i) builder.file("f" + std::to_string(i), std::string(3000, 'x'));
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("a.tar"), builder.end().bytes());
  const std::string archive = folder.engineChild("a.tar"), root = "c:\\", all = "*.*";
  HeldWorker worker;
  call("setflaglist", 1);
  ASSERT_EQ(call("zaxuntar", text(archive), text(root), text(all)), 0);
  std::thread run([&] { worker.run(); });
  // The host keeps asking for a pause and a cancel while the listing runs.
  while (call("status") == 1) {
    call("pause");
    call("cancel");
  }
  run.join();
  EXPECT_EQ(call("getintret"), 0);
  EXPECT_EQ(call("getnumfiles"), 200);
  call("tarinfodelete");
}

TEST(Job, ResultIsInPlaceWhenStatusTurnsToZero) {
  zaxtest::TempFolder folder;
  // Cut inside the member's data block: the job's result is 8, not the initial 0.
  zaxtest::Bytes cut = zaxtest::TarBuilder().file("x", "y").bytes();
  cut.resize(600);
  zaxtest::writeFile(folder.nativeChild("cut.tar"), cut);
  const std::string archive = folder.engineChild("cut.tar"), root = "c:\\", all = "*.*";
  for (int i = 0; i < 50; ++i) {
    call("setflaglist", 1);
    ASSERT_EQ(call("zaxuntar", text(archive), text(root), text(all)), 0);
    while (call("status") == 1) {
    }
    ASSERT_EQ(call("getintret"), 8) << "round " << i;
    call("tarinfodelete");
  }
}
