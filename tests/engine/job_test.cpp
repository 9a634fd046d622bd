// The job: start, refusal while running, the worker's resets, failures to start, the
// percentage, the thread lines, what "status" waits for, and the worker's boundary.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <new>
#include <thread>

#include "engine/platform/platform.h"
#include "host/job_end_signal.h"
#include "tests/support/engine_client.h"
#include "tests/support/output_folder_double.h"

using namespace enginetest;
using untgz::TestHooks;
using untgz::WorkerMoment;

namespace {

class Job : public EngineTest {};

// Holds the engine's worker at one moment of its thread until the test lets it go. Its
// hook is taken out only once the worker has exited.
class HeldWorker {
 public:
  HeldWorker(untgz::Engine& engine, WorkerMoment at)
      : hook_(engine.hook(&TestHooks::worker, [this, at](WorkerMoment moment) {
          if (moment == at) hold();
        })) {}
  ~HeldWorker() { release(); }

  // Fails the test instead of hanging when the worker never gets there.
  void waitUntilHeld() {
    std::unique_lock<std::mutex> guard(lock_);
    ASSERT_TRUE(changed_.wait_for(guard, std::chrono::seconds(60), [this] { return held_; }))
        << "the worker never reached the hook";
  }
  void release() {
    std::lock_guard<std::mutex> guard(lock_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  void hold() {
    std::unique_lock<std::mutex> guard(lock_);
    held_ = true;
    changed_.notify_all();
    changed_.wait(guard, [this] { return released_; });
  }

  std::mutex lock_;
  std::condition_variable changed_;
  bool held_ = false;
  bool released_ = false;
  untgz::ScopedHook hook_;
};

struct JobFiles {
  zaxtest::TempFolder folder;
  std::string archive, root = "c:\\", all = "*.*";
  JobFiles() {
    zaxtest::writeFile(
        folder.nativeChild("a.tar"),
        zaxtest::TarBuilder().directory("a/").file("a/x", "0123456789").end().bytes());
    archive = folder.engineChild("a.tar");
  }
};

}  // namespace

TEST_F(Job, SecondStartIsRefusedWhileTheFirstRuns) {
  JobFiles files;
  HeldWorker worker(engine, WorkerMoment::beforeJob);
  call("setflaglist", 1);
  ASSERT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), 0);
  worker.waitUntilHeld();
  EXPECT_EQ(call("status"), 1);
  EXPECT_EQ(call("getintret"), 0);
  const std::string other = files.folder.engineChild("missing.tar");
  EXPECT_EQ(call("zaxuntar", text(other), text(files.root), text(files.all)), -1);
  EXPECT_EQ(call("uncompress", text(other), text(files.root)), -1);
  worker.release();
  waitForIdle();
  EXPECT_EQ(call("getintret"), 0) << "the first job ran on its own archive";
  EXPECT_EQ(call("getnumfiles"), 1);
}

// The host frees the library once "status" answers 0. The worker stores the job's end
// from engine code and still returns through it, so "status" must go on answering 1
// until the thread itself has gone, and a new job must wait for that too.
TEST_F(Job, StatusAnswersZeroOnlyOnceTheWorkerHasExited) {
  JobFiles files;
  HeldWorker worker(engine, WorkerMoment::afterJob);
  call("setflaglist", 1);
  ASSERT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), 0);
  worker.waitUntilHeld();
  EXPECT_EQ(engine.job().jobStatus.load(), 0) << "the job itself has ended";
  EXPECT_EQ(call("getnumfiles"), 1);
  EXPECT_EQ(call("status"), 1) << "its thread is still in the engine";
  EXPECT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), -1);
  worker.release();
  waitForIdle();
  EXPECT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), 0);
  waitForIdle();
  EXPECT_EQ(call("getintret"), 0);
}

// "getjobend" hands the host a waitable that fires once the job's thread has ended, so
// that it learns of the end at once instead of at its next poll.
TEST_F(Job, TheEndSignalFiresOnceTheJobHasEnded) {
  JobFiles files;
  HeldWorker worker(engine, WorkerMoment::beforeJob);
  call("setflaglist", 1);
  ASSERT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), 0);
  worker.waitUntilHeld();
  std::intptr_t slot = 0;
  ASSERT_EQ(call("getjobend", reinterpret_cast<std::intptr_t>(&slot)), 1);
  const zax::JobEndSignal ended = zax::jobEndSignalFrom(slot);
  EXPECT_FALSE(zax::waitForJobEnd(ended, 0)) << "the job is held";
  worker.release();
  ASSERT_TRUE(zax::waitForJobEnd(ended, 60000));
  waitForIdle();
  EXPECT_EQ(call("getnumfiles"), 1);
  std::intptr_t none = 0;
  EXPECT_EQ(call("getjobend", reinterpret_cast<std::intptr_t>(&none)), 0)
      << "\"status\" has seen the thread go: nothing is left to wait for";
  EXPECT_EQ(call("getjobend"), 0) << "no slot";
}

TEST_F(Job, AJobThatCannotStartEndsAtOnceWithFive) {
  JobFiles files;
  struct Case {
    const char* name;
    std::function<bool()> startThread;
  };
  const Case cases[] = {
      {"no thread", [] { return false; }},
      {"no memory", []() -> bool { throw std::bad_alloc(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto refuse = engine.hook(&TestHooks::startThread, c.startThread);
    EXPECT_EQ(call("zaxuntar", text(files.archive), text(files.root), text(files.all)), 0);
    EXPECT_EQ(call("status"), 0);
    EXPECT_EQ(call("getintret"), 5);
  }
  // Nothing of the failed starts stays behind.
  EXPECT_EQ(listArchive(files.archive).result, 0);
}

// The worker's boundary: an exception ends the job with 5, the worker leaves the engine,
// and what was written before stays.
TEST_F(Job, OutOfMemoryDuringAJobEndsItWithFive) {
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("a.tar"), zaxtest::TarBuilder()
                                                      .file("first", "1")
                                                      .file("second", std::string(5000, '2'))
                                                      .file("third", "3")
                                                      .end()
                                                      .bytes());
  const std::string archive = folder.engineChild("a.tar"), out = folder.engineChild("out"),
                    all = "*.*";
  auto create = engine.hook(&TestHooks::openOutputRoot, zaxtest::answeringRoot([](const std::string& path) {
    if (path.find("second") != std::string::npos) throw std::bad_alloc();
    return zaxtest::FileAnswer::pass();
  }));
  call("setflaglist", 0);
  ASSERT_EQ(call("zaxuntar", text(archive), text(out), text(all)), 0);
  waitForIdle();
  EXPECT_EQ(call("getintret"), 5);
  std::string kept;
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out/first"), kept));
  EXPECT_EQ(kept, "1");
  EXPECT_FALSE(zaxtest::readFile(folder.nativeChild("out/second"), kept));
  EXPECT_FALSE(zaxtest::readFile(folder.nativeChild("out/third"), kept)) << "the job ended there";
  // The engine takes the next job as usual.
  EXPECT_EQ(listArchive(archive).result, 0);
}

TEST_F(Job, OutcomesOfArchivesThatCannotBeRead) {
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("empty.tar"), zaxtest::Bytes());
  struct Case {
    const char* name;
    std::string path;
    std::int32_t result;
  };
  const Case cases[] = {
      {"missing file", folder.engineChild("missing.tar"), 5},
      {"a folder", folder.engine(), 5},
      {"empty file", folder.engineChild("empty.tar"), 8},
      {"path on a drive that does not exist here", "Q:\\nowhere\\a.tar", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListResult listing = listArchive(c.path);
    EXPECT_EQ(listing.result, c.result);
    EXPECT_TRUE(listing.entries.empty());
  }
#ifndef _WIN32
  // On the native build only drive Z: exists.
  EXPECT_EQ(listArchive("C:\\a.tar").result, 5);
#endif
}

TEST_F(Job, PercentageFollowsTheArchiveFileAndStaysAfterTheJob) {
  std::string big(300000, 'x');
  const zaxtest::Bytes tar = zaxtest::TarBuilder().file("big", big).end().bytes();
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed);
    zaxtest::TempFolder folder;
    zaxtest::writeFile(folder.nativeChild("a"), compressed ? zaxtest::gzipCompress(tar) : tar);
    const ListResult listing = listArchive(folder.engineChild("a"));
    ASSERT_EQ(listing.result, 0);
    EXPECT_EQ(call("getporcentagem"), 100);
    EXPECT_EQ(call("getporcentagem"), 100);
  }
  // A job whose archive cannot be opened has no size and shows 0.
  listArchive("Q:\\missing.tar");
  EXPECT_EQ(call("getporcentagem"), 0);
}

TEST_F(Job, UncompressKeepsThePreviousSelection) {
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
TEST_F(Job, WorkerWritesThreadLines) {
  std::mutex lock;
  std::vector<std::string> lines;
  auto output = engine.hook(&TestHooks::debugOutput, [&](const char* text) {
    std::lock_guard<std::mutex> guard(lock);
    lines.push_back(text);
  });
  JobFiles files;
  listArchive(files.archive);
  // "status" 0 means the worker has exited, so both lines are there.
  std::lock_guard<std::mutex> guard(lock);
  EXPECT_EQ(lines, (std::vector<std::string>{"DLL_THREAD_ATTACH \n", "DLL_THREAD_DETACH \n"}));
}
#endif

TEST_F(Job, PauseAndCancelDoNotReachAListing) {
  zaxtest::TarBuilder builder;
  for (int i = 0; i < 200; ++i) builder.file("f" + std::to_string(i), std::string(3000, 'x'));
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("a.tar"), builder.end().bytes());
  const std::string archive = folder.engineChild("a.tar"), root = "c:\\", all = "*.*";
  HeldWorker worker(engine, WorkerMoment::beforeJob);
  call("setflaglist", 1);
  ASSERT_EQ(call("zaxuntar", text(archive), text(root), text(all)), 0);
  worker.waitUntilHeld();
  worker.release();
  // The host keeps asking for a pause and a cancel while the listing runs.
  while (call("status") == 1) {
    call("pause");
    call("cancel");
  }
  EXPECT_EQ(call("getintret"), 0);
  EXPECT_EQ(call("getnumfiles"), 200);
  call("tarinfodelete");
}

TEST_F(Job, ResultIsInPlaceWhenStatusTurnsToZero) {
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

// An engine that goes while its job runs (a test that failed half-way, a library freed
// too early) stops the job and waits for its worker, which uses the engine to the end.
TEST(EngineLifetime, AnEngineWaitsForItsWorker) {
  JobFiles files;
  std::atomic<bool> workerDone{false};
  {
    untgz::Engine engine;
    engine.hooks().worker = [&workerDone](WorkerMoment moment) {
      if (moment == WorkerMoment::beforeJob)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (moment == WorkerMoment::afterJob) workerDone = true;
    };
    EngineClient client(engine);
    ASSERT_EQ(client.call("zaxuntar", text(files.archive), text(files.folder.engineChild("out")),
                          text(files.all)),
              0);
  }
  EXPECT_TRUE(workerDone);
}
