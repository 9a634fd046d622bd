// Extraction jobs end to end through the command protocol: what lands on disk, where,
// with which time, and how pause, cancel, refusals and damaged input end a job.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <ostream>
#include <thread>

#include "common/protocol.h"
#include "common/utf8.h"
#include "engine/platform/platform.h"
#include "tests/support/engine_client.h"
#include "tests/support/output_folder_double.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace enginetest;
using untgz::TestHooks;
using zaxtest::Bytes;
using zaxtest::TarBuilder;
namespace fs = std::filesystem;

namespace {

// One extraction's folder: the archive is written there and extracted into "out".
struct Workspace {
  EngineClient& engine;
  zaxtest::TempFolder folder;
  std::string destination;
  explicit Workspace(EngineClient& client) : engine(client), destination(folder.engineChild("out")) {}

  std::int32_t run(const Bytes& archive, const std::string& selection = "*.*") {
    zaxtest::writeFile(folder.nativeChild("a.tar"), archive);
    const std::string path = folder.engineChild("a.tar");
    engine.call("setflaglist", 0);
    EXPECT_EQ(engine.call("zaxuntar", text(path), text(destination), text(selection)), 0);
    engine.waitForIdle();
    return engine.call("getintret");
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

struct Failure {
  std::string name;
  std::int32_t reason;
  bool operator==(const Failure& other) const { return name == other.name && reason == other.reason; }
};

std::ostream& operator<<(std::ostream& out, const Failure& f) {
  return out << "{" << f.name << ", " << f.reason << "}";
}

class ExtractionTest : public EngineTest {
 protected:
  // The members the last job did not extract, as a host reads them.
  std::vector<Failure> failures() {
    std::vector<Failure> found;
    for (std::intptr_t i = 0;; ++i) {
      // The number from the ANSI word (no buffers), the texts whole from the UTF-8 ones.
      const std::int32_t number = call("getfailure", 0, 0, i);
      if (number == 0) break;
      std::string name(4 * untgz::protocol::kMaxWholeText, ' '), reason(1024, ' ');
      EXPECT_GT(call("getfailurenameutf8", reinterpret_cast<std::intptr_t>(&name[0]),
                     static_cast<std::intptr_t>(name.size()), i), 0);
      EXPECT_GT(call("getfailurereasonutf8", reinterpret_cast<std::intptr_t>(&reason[0]),
                     static_cast<std::intptr_t>(reason.size()), i), 1);
      found.push_back({name.c_str(), number});
    }
    EXPECT_EQ(call("getnumfailed"), static_cast<std::int32_t>(found.size()));
    return found;
  }

  // Answers each member's file first (by its path below the destination): refused,
  // written to the test's own stream, or made as the engine makes it.
  untgz::ScopedHook createFiles(zaxtest::FileAnswerer answer) {
    return engine.hook(&TestHooks::openOutputRoot, zaxtest::answeringRoot(std::move(answer)));
  }
};

class Extraction : public ExtractionTest {};
class ExtractionSafety : public ExtractionTest {};

std::time_t modificationTime(const std::string& nativePath) {
  struct stat status {};
  EXPECT_EQ(::stat(nativePath.c_str(), &status), 0);
  return status.st_mtime;
}

}  // namespace

TEST_F(Extraction, SelectionPicksFilesWhileFoldersAreAlwaysMade) {
  Workspace x(*this);
  EXPECT_EQ(x.run(TarBuilder().directory("a/").file("a/b.txt", "bee").file("a/c.dat", "sea").end().bytes(),
                  "*.txt"),
            0);
  EXPECT_TRUE(fs::is_directory(x.out("a")));
  EXPECT_EQ(x.contents("a/b.txt"), "bee");
  EXPECT_FALSE(x.exists("a/c.dat"));
}

TEST_F(Extraction, FilesFoldersEmptyFilesAndTimes) {
  std::tm newYear{};
  newYear.tm_year = 100;
  newYear.tm_mon = 0;
  newYear.tm_mday = 1;
  newYear.tm_isdst = -1;
  const std::time_t localNewYear = std::mktime(&newYear);
  std::string large(1 << 20, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 511);

  Workspace x(*this);
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

TEST_F(Extraction, ExistingFilesAreReplaced) {
  Workspace x(*this);
  fs::create_directories(x.out(""));
  zaxtest::writeFile(x.out("f"), std::string(5000, 'o'));
  EXPECT_EQ(x.run(TarBuilder().file("f", "new").end().bytes()), 0);
  EXPECT_EQ(failures(), std::vector<Failure>{});
  EXPECT_EQ(x.contents("f"), "new");
}

TEST_F(Extraction, NothingIsWrittenOutsideTheDestination) {
  Workspace x(*this);
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
  ASSERT_EQ(x.run(archive), 9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"../escape.txt", 1},
                                              {"a/../../escape2.txt", 1},
                                              {"a\\..\\..\\escape3.txt", 1},
                                              {"../escaped-dir/", 1}}));
#ifdef _WIN32
  // A drive's ':' becomes '_' like every ':' on Windows: a folder, never another drive.
  EXPECT_EQ(x.everything(),
            (std::vector<std::string>{"a.tar", "out", "out/abs", "out/abs/root.txt", "out/back",
                                      "out/back/slash.txt", "out/c_", "out/c_/drive.txt",
                                      "out/c_/drive2.txt", "out/kept.txt"}));
#else
  EXPECT_EQ(x.everything(),
            (std::vector<std::string>{"a.tar", "out", "out/abs", "out/abs/root.txt", "out/back",
                                      "out/back/slash.txt", "out/drive.txt", "out/drive2.txt",
                                      "out/kept.txt"}));
#endif
  EXPECT_EQ(x.contents("kept.txt"), "8") << "skipped members' data is read past";
}

TEST_F(Extraction, AFileThatCannotBeCreatedIsCountedAndTheJobGoesOn) {
  Workspace x(*this);
  auto create = createFiles([](const std::string& path) {
    return path.find("locked") != std::string::npos ? zaxtest::FileAnswer::refuse(platform::Failure::accessDenied)
                                                     : zaxtest::FileAnswer::pass();
  });
  const std::int32_t result =
      x.run(TarBuilder().file("locked", std::string(3000, 'l')).file("next", "n").end().bytes());
  EXPECT_EQ(result, 9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"locked", 9}}));
  EXPECT_FALSE(x.exists("locked"));
  EXPECT_EQ(x.contents("next"), "n");
}

TEST_F(Extraction, CancelLeavesThePartFileUntimedAndEndsWithZero) {
  Workspace x(*this);
  auto create = createFiles([this](const std::string& path) {
    // The host's cancel arrives while the big member is being written.
    if (path.find("big") != std::string::npos) engine.job().cancelFlag.store(1);
    return zaxtest::FileAnswer::pass();
  });
  const std::time_t before = std::time(nullptr);
  const std::int32_t result = x.run(TarBuilder()
                                        .add({"first", '0', "1", 0})
                                        .add({"big", '0', std::string(100000, 'b'), 0})
                                        .file("after", "a")
                                        .end()
                                        .bytes());
  EXPECT_EQ(result, 0);
  EXPECT_EQ(x.contents("first"), "1");
  EXPECT_EQ(modificationTime(x.out("first")), 0);
  ASSERT_TRUE(x.exists("big"));
  EXPECT_LT(x.contents("big").size(), 100000u);
  EXPECT_GE(modificationTime(x.out("big")), before);
  EXPECT_FALSE(x.exists("after"));
}

TEST_F(Extraction, PauseSlowsTheWalkButChangesNothing) {
  Workspace x(*this);
  std::atomic<std::int32_t>& pause = engine.job().pauseFlag;
  auto create = createFiles([&pause](const std::string& path) {
    // Paused from the start of the member, resumed once the walk has slept a few times.
    if (path.find("slow") != std::string::npos) pause.store(1);
    return zaxtest::FileAnswer::pass();
  });
  std::thread resume([&pause] {
    while (pause.load() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    pause.store(0);
  });
  const std::string data(5000, 's');
  const std::int32_t result = x.run(TarBuilder().file("slow", data).file("then", "t").end().bytes());
  resume.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(x.contents("slow"), data);
  EXPECT_EQ(x.contents("then"), "t");
}

TEST_F(Extraction, RefusedDestinationEndsTheJobBeforeTheArchiveIsRead) {
  Workspace x(*this);
  x.destination = "relative\\folder";
  EXPECT_EQ(x.run(TarBuilder().file("f", "x").end().bytes()), 42);
  EXPECT_NE(textResult("geterrorstring"), "");
  const std::string message = textResult("geterrorstring");
  // A later successful job leaves the message in place.
  x.destination = x.folder.engineChild("fine");
  EXPECT_EQ(x.run(TarBuilder().file("f", "x").end().bytes()), 0);
  EXPECT_EQ(textResult("geterrorstring"), message);
}

TEST_F(Extraction, DamagedInputKeepsWhatWasWritten) {
  Workspace x(*this);
  Bytes archive = TarBuilder().file("whole", "w").file("cut", std::string(3000, 'c')).bytes();
  archive.resize(archive.size() - 1024);
  EXPECT_EQ(x.run(archive), 8);
  EXPECT_EQ(x.contents("whole"), "w");
  EXPECT_EQ(x.contents("cut").size(), 2048u) << "the blocks before the cut are kept";
}

// What is already in the destination never leads a member elsewhere: a link at a
// member's path is replaced, never written through, and the file it led to is kept.
TEST_F(ExtractionSafety, LinksAtMemberPathsAreReplaced) {
  Workspace x(*this);
  fs::create_directories(x.out(""));
  zaxtest::writeFile(x.folder.nativeChild("victim"), "keep");
  zaxtest::writeFile(x.folder.nativeChild("victim2"), "keep too");
  std::string why;
  ASSERT_TRUE(zaxtest::makeSymlink(x.folder.nativeChild("victim"), x.out("sym"), why)) << why;
  fs::create_hard_link(x.folder.nativeChild("victim2"), x.out("hard"));
  ASSERT_TRUE(zaxtest::makeSymlink(x.folder.nativeChild("nowhere"), x.out("dangling"), why)) << why;

  const std::int32_t result =
      x.run(TarBuilder().file("sym", "new1").file("hard", "new2").file("dangling", "new3").end().bytes());
  EXPECT_EQ(x.contents("sym"), "new1");
  EXPECT_EQ(x.contents("hard"), "new2");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(x.contents("dangling"), "new3");
  EXPECT_FALSE(fs::exists(x.folder.nativeChild("nowhere")));
  std::string kept;
  ASSERT_TRUE(zaxtest::readFile(x.folder.nativeChild("victim"), kept));
  EXPECT_EQ(kept, "keep");
  ASSERT_TRUE(zaxtest::readFile(x.folder.nativeChild("victim2"), kept));
  EXPECT_EQ(kept, "keep too");
}

TEST_F(ExtractionSafety, ALinkedFolderBelowTheDestinationIsNotFollowed) {
  Workspace x(*this);
  fs::create_directories(x.out(""));
  fs::create_directories(x.folder.nativeChild("elsewhere"));
  std::string why;
  ASSERT_TRUE(zaxtest::makeSymlink(x.folder.nativeChild("elsewhere"), x.out("sub"), why)) << why;

  ASSERT_EQ(x.run(TarBuilder()
                      .file("sub/file", "f")
                      .directory("sub/newdir/")
                      .file("sub/newdir/f", "g")
                      .directory("sub/")
                      .file("fine", "ok")
                      .end()
                      .bytes()),
            9);
  EXPECT_TRUE(fs::is_empty(x.folder.nativeChild("elsewhere")));
  EXPECT_EQ(failures(), (std::vector<Failure>{{"sub/file", 3}, {"sub/newdir/", 3}, {"sub/newdir/f", 3}, {"sub/", 3}}));
  EXPECT_EQ(x.contents("fine"), "ok");
}

#ifndef _WIN32
// Another process swaps the folders the job is filling for links to a folder outside, again
// and again. Nothing may land outside, and every member is either written (in the folder
// it was made in, wherever that was moved) or counted. With two folders the job keeps
// both held; with more folders than it holds it reaches them again from above and must
// see the links.
TEST_F(ExtractionSafety, FoldersSwappedForLinksDuringTheJobLeadNothingOutside) {
  for (const int folders : {2, 80}) {
    SCOPED_TRACE(folders);
    Workspace x(*this);
    const std::string outside = x.folder.nativeChild("outside");
    fs::create_directories(outside);
    TarBuilder archive;
    const int members = 2000;
    for (int i = 0; i < members; ++i)
      archive.file("d" + std::to_string(i % folders) + "/f" + std::to_string(i), "x");
    zaxtest::writeFile(x.folder.nativeChild("a.tar"), archive.end().bytes());

    std::atomic<bool> done{false};
    std::thread swapper([&] {
      for (int round = 0; !done.load(); ++round) {
        const std::string folder = x.out("d" + std::to_string(round % folders));
        std::error_code error;
        if (fs::is_symlink(folder, error)) {
          fs::remove(folder, error);
        } else if (fs::is_directory(folder, error)) {
          fs::rename(folder, x.out("moved" + std::to_string(round)), error);
          if (!error) fs::create_directory_symlink(outside, folder, error);
        }
      }
    });
    const std::string path = x.folder.engineChild("a.tar"), all = "*.*";
    call("setflaglist", 0);
    EXPECT_EQ(call("zaxuntar", text(path), text(x.destination), text(all)), 0);
    waitForIdle();
    done = true;
    swapper.join();

    EXPECT_TRUE(fs::is_empty(outside));
    std::int64_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(x.out("")))
      if (!entry.is_symlink() && entry.is_regular_file()) ++written;
    const std::int32_t failed = call("getnumfailed");
    EXPECT_EQ(written + failed, members);
    std::cout << folders << " folders: " << written << " written, " << failed << " counted\n";
    EXPECT_EQ(call("getintret"), failed == 0 ? 0 : 9);
  }
}
#endif

// A member cut short by the end of the input stays as written, as the host may want what
// there is of it, and is named so that nobody takes it for whole; the outcome is the
// damaged archive's.
TEST_F(ExtractionSafety, AMemberCutShortByTheEndOfTheArchiveIsNamed) {
  Workspace x(*this);
  Bytes archive = TarBuilder().file("first", "1").file("cut", std::string(5000, 'c')).end().bytes();
  archive.resize(512 * 2 + 512 * 2 + 100);
  EXPECT_EQ(x.run(archive), 8);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"cut", 14}}));
  EXPECT_EQ(x.contents("first"), "1");
  EXPECT_EQ(x.contents("cut"), std::string(512, 'c')) << "the whole blocks that arrived";
}

// Links, devices and FIFOs: a hard link to a file this job wrote and a symbolic link whose
// target stays inside are made (on Windows a copy stands in where the system makes no
// link, as Wine does for symbolic links); everything else is counted with its reason.
TEST_F(ExtractionSafety, LinksThatStayInsideAreMadeAndTheRestCounted) {
  using Entry = TarBuilder::Entry;
  Workspace x(*this);
  const std::int32_t result = x.run(TarBuilder()
                                        .file("t.txt", "target")
                                        .add(Entry{"l", '2', "", 0, -1, "", "t.txt"})
                                        .add(Entry{"sub/l2", '2', "", 0, -1, "", "../t.txt"})
                                        .add(Entry{"h", '1', "", 0, -1, "", "t.txt"})
                                        .add(Entry{"abs", '2', "", 0, -1, "", "/etc/passwd"})
                                        .add(Entry{"esc", '2', "", 0, -1, "", "../outside"})
                                        .add(Entry{"sub/esc2", '2', "", 0, -1, "", "x/../../../y"})
                                        .add(Entry{"nowhere", '1', "", 0, -1, "", "missing"})
                                        .add(Entry{"up", '1', "", 0, -1, "", "../t.txt"})
                                        .add(Entry{"fifo", '6'})
                                        .add(Entry{"tty", '3'})
                                        .add(Entry{"disk", '4'})
                                        .end()
                                        .bytes());
  EXPECT_EQ(result, 9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"abs", 16}, {"esc", 16}, {"sub/esc2", 16}, {"nowhere", 18},
                                              {"up", 16}, {"fifo", 17}, {"tty", 17}, {"disk", 17}}));
  EXPECT_EQ(x.contents("h"), "target");
  EXPECT_EQ(fs::equivalent(x.out("h"), x.out("t.txt")), true) << "a hard link, not a copy";
#ifdef _WIN32
  // Wine makes no symbolic links: copies of the file they lead to stand in.
  EXPECT_EQ(x.contents("l"), "target");
  EXPECT_EQ(x.contents("sub/l2"), "target");
#else
  EXPECT_EQ(fs::read_symlink(x.out("l")), "t.txt");
  EXPECT_EQ(fs::read_symlink(x.out("sub/l2")), "../t.txt");
#endif
  std::string name(untgz::protocol::kHostBufferSize, ' '), reason(untgz::protocol::kHostBufferSize, ' ');
  call("getfailure", reinterpret_cast<std::intptr_t>(&name[0]), reinterpret_cast<std::intptr_t>(&reason[0]), 5);
  EXPECT_STREQ(reason.c_str(), "it is a FIFO, which is not extracted");

  // Links are selected by their own names; a hard link to a file the selection left out
  // has nothing of this job's to link to.
  Workspace selected(*this);
  EXPECT_EQ(selected.run(TarBuilder()
                             .file("data.bin", "data")
                             .add(Entry{"copy.txt", '1', "", 0, -1, "", "data.bin"})
                             .add(Entry{"skipped", '2', "", 0, -1, "", "/abs"})
                             .end()
                             .bytes(),
                         "*.txt"),
            9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"copy.txt", 18}}));
}

#ifndef _WIN32
// Files and folders get the permission bits of their headers less the umask, never
// setuid, setgid or sticky; a folder that forbids writing gets its mode after its members
// are written. Folders get their times once their members are written, and pax times keep
// their nanoseconds.
TEST_F(Extraction, ModesFolderTimesAndSubSecondTimes) {
  using Entry = TarBuilder::Entry;
  const mode_t umask = ::umask(022);
  ::umask(umask);
  Workspace x(*this);
  const std::int32_t result = x.run(TarBuilder()
                                        .add(Entry{"priv/", '5', "", 1000000000, -1, "", "", 0700})
                                        .add(Entry{"priv/key", '0', "k", 0, -1, "", "", 0600})
                                        .add(Entry{"run.sh", '0', "#!/bin/sh\n", 0, -1, "", "", 0755})
                                        .add(Entry{"suid", '0', "s", 0, -1, "", "", 06755})
                                        .add(Entry{"ro/", '5', "", 1100000000, -1, "", "", 0555})
                                        .add(Entry{"ro/inside", '0', "i", 0, -1, "", "", 0444})
                                        .pax({{"mtime", "1700000000.123456789"}})
                                        .add(Entry{"ro/fine", '0', "f", 0, -1, "", "", 0644})
                                        .end()
                                        .bytes());
  EXPECT_EQ(result, 0);
  const auto modeOf = [&x](const std::string& relative) {
    struct stat status {};
    EXPECT_EQ(::lstat(x.out(relative).c_str(), &status), 0) << relative;
    return status.st_mode & 07777;
  };
  EXPECT_EQ(modeOf("priv"), 0700u & ~umask);
  EXPECT_EQ(modeOf("priv/key"), 0600u & ~umask);
  EXPECT_EQ(modeOf("run.sh"), 0755u & ~umask);
  EXPECT_EQ(modeOf("suid"), 0755u & ~umask);
  EXPECT_EQ(modeOf("ro"), 0555u & ~umask);
  EXPECT_EQ(x.contents("ro/inside"), "i");
  EXPECT_EQ(modificationTime(x.out("priv")), 1000000000);
  EXPECT_EQ(modificationTime(x.out("ro")), 1100000000);
  struct stat fine {};
  ASSERT_EQ(::stat(x.out("ro/fine").c_str(), &fine), 0);
  EXPECT_EQ(fine.st_mtim.tv_sec, 1700000000);
  EXPECT_EQ(fine.st_mtim.tv_nsec, 123456789);
  fs::permissions(x.out("ro"), fs::perms::owner_all, fs::perm_options::add);
}

// Later members are never written through a link, one the archive made included.
TEST_F(ExtractionSafety, MembersBelowALinkTheArchiveMadeAreCounted) {
  Workspace x(*this);
  EXPECT_EQ(x.run(TarBuilder()
                      .directory("real/")
                      .add(TarBuilder::Entry{"via", '2', "", 0, -1, "", "real"})
                      .file("via/x", "x")
                      .end()
                      .bytes()),
            9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"via/x", 3}}));
  EXPECT_TRUE(fs::is_empty(x.out("real")));
}
#endif

// Each member that cannot be written is counted with its reason; the others are written.
TEST_F(ExtractionSafety, MembersThatCannotBeWrittenAreCountedWithTheirReason) {
  struct Case {
    const char* what;
    std::function<void(Workspace&)> before;  // what is on disk before the job
    TarBuilder::Entry member;
    std::int32_t reason;
  };
  const std::string longPath = [] {
    std::string path;
    // Past PATH_MAX here and past the 32,767 characters of a long path on Windows.
    while (path.size() < 33000) path += std::string(100, 'p') + "/";
    return path + "file";
  }();
  const Case cases[] = {
      {"a file where a folder must go", [](Workspace& x) { zaxtest::writeFile(x.out("x"), "file"); },
       {"x/y", '0', "data"}, 4},
      {"a folder where the file must go", [](Workspace& x) { fs::create_directories(x.out("d/inside")); },
       {"d", '0', "data"}, 5},
      {"a file where a folder entry must go", [](Workspace& x) { zaxtest::writeFile(x.out("e"), "file"); },
       {"e/", '5'}, 4},
      {"a path longer than the system takes", [](Workspace&) {}, {longPath, '0', "data"}, 7},
      {"a name longer than the system takes", [](Workspace&) {}, {std::string(300, 'n'), '0', "data"}, 7},
      {"a folder entry with an upward step", [](Workspace&) {}, {"a/../../up/", '5'}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Workspace x(*this);
    fs::create_directories(x.out(""));
    c.before(x);
    TarBuilder archive;
    if (c.member.name.size() > 100) {
      archive.gnuLongName(c.member.name, c.member);
    } else {
      archive.add(c.member);
    }
    ASSERT_EQ(x.run(archive.file("after", "a").end().bytes()), 9);
    // Names are kept as far as a host buffer takes them.
    // Named whole, up to the longest path a host takes.
    EXPECT_EQ(failures(), (std::vector<Failure>{{c.member.name.substr(0, untgz::protocol::kMaxWholeText), c.reason}}));
    EXPECT_EQ(x.contents("after"), "a");
  }
}

TEST_F(ExtractionSafety, AMemberWithoutANameIsCounted) {
  Workspace x(*this);
  ASSERT_EQ(x.run(TarBuilder().gnuLongName("", {"ignored", '0', "data"}).file("after", "a").end().bytes()), 9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"", 2}}));
  EXPECT_EQ(x.contents("after"), "a");
}

TEST_F(ExtractionSafety, TheArchiveBeingReadIsNeverReplaced) {
  Workspace x(*this);
  x.destination = x.folder.engine();
  const Bytes archive = TarBuilder().file("a.tar", std::string(5000, 'x')).file("other", "o").end().bytes();
  ASSERT_EQ(x.run(archive), 9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"a.tar", 6}}));
  std::string kept;
  ASSERT_TRUE(zaxtest::readFile(x.folder.nativeChild("a.tar"), kept));
  EXPECT_EQ(kept, std::string(archive.begin(), archive.end()));
  ASSERT_TRUE(zaxtest::readFile(x.folder.nativeChild("other"), kept));
  EXPECT_EQ(kept, "o");
}

// A read-only file is kept, as an updater extracting over an install folder may count on;
// the member is named so that nobody takes the old file for the archive's.
TEST_F(ExtractionSafety, ReadOnlyFilesAreKeptAndCounted) {
  Workspace x(*this);
  fs::create_directories(x.out(""));
  zaxtest::writeFile(x.out("ro"), "old");
  fs::permissions(x.out("ro"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  ASSERT_EQ(x.run(TarBuilder().file("ro", "new").file("next", "n").end().bytes()), 9);
  EXPECT_EQ(failures(), (std::vector<Failure>{{"ro", 13}}));
  EXPECT_EQ(x.contents("ro"), "old");
  EXPECT_EQ(x.contents("next"), "n");
  fs::permissions(x.out("ro"), fs::perms::owner_write, fs::perm_options::add);
}

// A full disk fails the member that did not fit, which is removed; what was written before
// stays and the members after it are still tried (a smaller one may fit). Small files fail
// at the close, large ones while being written.
TEST_F(ExtractionSafety, AFullDiskFailsTheMemberAndTheJobGoesOn) {
#ifdef _WIN32
  static const char* const kFullDevice = "Z:\\dev\\full";
#else
  static const char* const kFullDevice = "/dev/full";
#endif
  for (const std::size_t size : {std::size_t{10}, std::size_t{600 * 1024}}) {
    SCOPED_TRACE(size);
    Workspace x(*this);
    auto create = createFiles([](const std::string& path) {
      return path.find("big") != std::string::npos ? zaxtest::FileAnswer::writeTo(std::fopen(kFullDevice, "wb"))
                                                   : zaxtest::FileAnswer::pass();
    });
    const std::int32_t result = x.run(TarBuilder()
                                          .file("first", "1")
                                          .file("big", std::string(size, 'b'))
                                          .file("after", "a")
                                          .file("big2", std::string(size, 'c'))
                                          .end()
                                          .bytes());
    EXPECT_EQ(result, 9);
    EXPECT_EQ(failures(), (std::vector<Failure>{{"big", 12}, {"big2", 12}}));
    EXPECT_EQ(x.contents("first"), "1");
    EXPECT_EQ(x.contents("after"), "a");
    EXPECT_FALSE(x.exists("big"));
  }
}

// Every failure is counted, while only the first thousand are kept with their names; a new
// job starts a new count.
TEST_F(ExtractionSafety, TheFailureLogIsBoundedAndClearedByTheNextJob) {
  Workspace x(*this);
  TarBuilder many;
  for (int i = 0; i < 1005; ++i) many.directory("../up" + std::to_string(i) + "/");
  ASSERT_EQ(x.run(many.end().bytes()), 9);
  EXPECT_EQ(call("getnumfailed"), 1005);
  std::string name(300, ' '), reason(300, ' ');
  EXPECT_EQ(call("getfailure", reinterpret_cast<std::intptr_t>(&name[0]), reinterpret_cast<std::intptr_t>(&reason[0]), 999), 1);
  EXPECT_STREQ(name.c_str(), "../up999/");
  EXPECT_STREQ(reason.c_str(), "its name leads out of the destination folder");
  EXPECT_EQ(call("getfailure", reinterpret_cast<std::intptr_t>(&name[0]), reinterpret_cast<std::intptr_t>(&reason[0]), 1000), 0);
  EXPECT_EQ(call("getfailure", reinterpret_cast<std::intptr_t>(&name[0]), reinterpret_cast<std::intptr_t>(&reason[0]), -1), 0);

  ASSERT_EQ(x.run(TarBuilder().file("fine", "f").end().bytes()), 0);
  EXPECT_EQ(call("getnumfailed"), 0);
}

TEST_F(Extraction, DamageInACompressedArchiveIsReportedEvenPastTheEndMarker) {
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
  Workspace x(*this);
  EXPECT_EQ(x.run(archive), 3);
  EXPECT_NE(x.contents("f"), data);
}

TEST_F(Extraction, UnknownTypeflagsAreWrittenAsFilesKnownNonFilesAreNot) {
  Workspace x(*this);
  EXPECT_EQ(x.run(TarBuilder()
                      .add({"future", '8', "eight"})
                      .add({"vendor", 'Q', "queue"})
                      .add({"label", 'V', "volume"})
                      .end()
                      .bytes()),
            0);
  EXPECT_EQ(x.contents("future"), "eight");
  EXPECT_EQ(x.contents("vendor"), "queue");
  EXPECT_FALSE(x.exists("label"));
}

namespace {

// A sparse file's content: its stored stretches at their offsets, zeros elsewhere.
std::string expanded(std::int64_t realSize, const TarBuilder::Segments& map, const std::string& stored) {
  std::string file(static_cast<std::size_t>(realSize), '\0');
  std::size_t from = 0;
  for (const auto& [offset, length] : map) {
    file.replace(static_cast<std::size_t>(offset), static_cast<std::size_t>(length), stored,
                 from, static_cast<std::size_t>(length));
    from += static_cast<std::size_t>(length);
  }
  return file;
}

}  // namespace

TEST_F(Extraction, SparseFilesHoldTheirDataAtItsPlaceAndZerosElsewhere) {
  using Form = TarBuilder::SparseForm;
  struct Member { std::string name; std::int64_t realSize; TarBuilder::Segments map; std::string stored; };
  // Holes at the start, in the middle and at the end; data at the very end; segments that
  // cross block boundaries of the stored data; a zero-length segment closing the map.
  std::string crossing(1500, 'c');
  for (std::size_t i = 0; i < crossing.size(); ++i) crossing[i] = static_cast<char>('a' + i % 26);
  const Member old{"old", 9000, {{100, 700}, {2000, 800}, {8000, 0}}, crossing};
  const Member v00{"zero-zero", 6000, {{0, 3}, {5998, 2}}, "abcde"};
  const Member v01{"dir/zero-one", 4096, {{512, 512}, {3000, 10}}, std::string(512, 'z') + "0123456789"};
  const Member v10{"one-zero", 70000, {{1, 1}, {65536, 600}, {70000, 0}}, "x" + std::string(600, 'y')};
  Workspace x(*this);
  ASSERT_EQ(x.run(TarBuilder()
                      .oldSparse(old.name, old.realSize, old.map, old.stored)
                      .paxSparse(Form::v00, v00.name, v00.realSize, v00.map, v00.stored)
                      .paxSparse(Form::v01, v01.name, v01.realSize, v01.map, v01.stored)
                      .paxSparse(Form::v10, v10.name, v10.realSize, v10.map, v10.stored)
                      .end()
                      .bytes()),
            0);
  for (const Member& m : {old, v00, v01, v10}) {
    SCOPED_TRACE(m.name);
    EXPECT_TRUE(x.contents(m.name) == expanded(m.realSize, m.map, m.stored));
    EXPECT_EQ(modificationTime(x.out(m.name)), 1086091200);
  }
  EXPECT_FALSE(x.exists("GNUSparseFile.0"));
}

#ifndef _WIN32
// Here the holes stay holes: a 256 MiB file with a few bytes in it takes a few blocks.
TEST_F(Extraction, SparseFilesKeepTheirHoles) {
  Workspace x(*this);
  const std::int64_t size = 256LL << 20;
  ASSERT_EQ(x.run(TarBuilder()
                      .paxSparse(TarBuilder::SparseForm::v10, "disk.img", size, {{128LL << 20, 5}}, "magic")
                      .end()
                      .bytes()),
            0);
  struct stat status {};
  ASSERT_EQ(::stat(x.out("disk.img").c_str(), &status), 0);
  EXPECT_EQ(status.st_size, size);
  EXPECT_LT(status.st_blocks * 512, 1 << 20);
}
#endif

TEST_F(Extraction, CancelInsideASparseMemberKeepsWhatWasWritten) {
  Workspace x(*this);
  auto create = createFiles([this](const std::string& path) {
    if (path.find("sparse") != std::string::npos) engine.job().cancelFlag.store(1);
    return zaxtest::FileAnswer::pass();
  });
  const std::string stored(100000, 's');
  EXPECT_EQ(x.run(TarBuilder()
                      .paxSparse(TarBuilder::SparseForm::v01, "sparse", 1 << 20, {{4096, 100000}}, stored)
                      .file("after", "a")
                      .end()
                      .bytes()),
            0);
  ASSERT_TRUE(x.exists("sparse"));
  EXPECT_LT(fs::file_size(x.out("sparse")), 1u << 20) << "a cancelled file is not given its full size";
  EXPECT_FALSE(x.exists("after"));
}

// Archive shapes that other readers take, each extracted plain and gzip-compressed: the
// tree that lands, the files' bytes and times, and how the job ends.
TEST_F(Extraction, ShapesOtherReadersTake) {
  constexpr std::time_t kTime = 1086091200;  // TarBuilder's
  struct Case {
    const char* what;
    Bytes archive;
    std::int32_t result;
    std::vector<std::string> tree;  // under "out"
    std::time_t mtime;              // of out/a.txt or out/d/a.txt
  };
  const Case cases[] = {
      // The folder without a name is counted as left out, its files land.
      {"a first directory without a name", TarBuilder().add({"", '5'}).file("a.txt", "abc").end().bytes(), 9,
       {"a.txt"}, kTime},
      {"a pax time with anything after it",
       TarBuilder().pax({{"mtime", "1748089464.951928467a"}}).file("a.txt", "abc").end().bytes(), 0, {"a.txt"},
       kTime},
      {"a last pax record without its newline",
       TarBuilder()
           .add({"PaxHeaders/a.txt", 'x', zaxtest::paxRecord("mtime", "5") + "13 path=b.txt"})
           .file("a.txt", "abc")
           .end()
           .bytes(),
       0, {"a.txt"}, 5},
      {"a last pax record with an empty value and no newline",
       TarBuilder().add({"PaxHeaders/a.txt", 'x', "9 mtime="}).file("a.txt", "abc").end().bytes(), 0, {"a.txt"},
       kTime},
      {"an old folder with a size and no data",
       TarBuilder().add({"d/", '0', "", kTime, 1000}).file("d/a.txt", "abc").end().bytes(), 0, {"d", "d/a.txt"},
       kTime},
  };
  for (const Case& c : cases) {
    for (const bool compressed : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (compressed ? ", gzip" : ", plain"));
      Workspace x(*this);
      EXPECT_EQ(x.run(compressed ? zaxtest::gzipCompress(c.archive) : c.archive), c.result);
      std::vector<std::string> tree{"a.tar", "out"};
      for (const std::string& path : c.tree) tree.push_back("out/" + path);
      EXPECT_EQ(x.everything(), tree);
      const std::string file = c.tree.back();
      EXPECT_EQ(x.contents(file), "abc");
      EXPECT_EQ(modificationTime(x.out(file)), c.mtime);
    }
  }
}

// A real size the file system cannot take: the member is counted and nothing of it stays,
// while the members after it are extracted.
TEST_F(ExtractionSafety, ASparseFileTooLargeForTheFileSystemIsCounted) {
  constexpr std::int64_t kHuge = 4LL << 60;  // 4 EiB
  struct Case {
    const char* what;
    TarBuilder::SparseForm form;
    std::int64_t realSize;
    TarBuilder::Segments map;
  };
  const Case cases[] = {
      {"18 digits", TarBuilder::SparseForm::v01, 999999999999999999LL, {{0, 1}}},
      {"4 EiB", TarBuilder::SparseForm::v01, kHuge, {{0, 1}}},
      {"4 EiB, data at its end", TarBuilder::SparseForm::v10, kHuge, {{kHuge - 1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Workspace x(*this);
    EXPECT_EQ(x.run(TarBuilder().paxSparse(c.form, "huge", c.realSize, c.map, "h").file("after", "z").end().bytes()), 9);
    EXPECT_FALSE(x.exists("huge"));
    const std::vector<Failure> failed = failures();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].name, "huge");
    // Too large for the file, or (as some systems say it) for the disk, which ends the job.
    EXPECT_TRUE(failed[0].reason == 11 || failed[0].reason == 12) << failed[0].reason;
    if (failed[0].reason == 11) {
      EXPECT_EQ(x.contents("after"), "z");
    }
  }
}

// --- Names in every script ------------------------------------------------------------------

namespace {

// A legacy name: "café Ärger.txt" in cp1252, bytes that are not UTF-8.
const std::string kCp1252Name = "caf\xE9 \xC4rger.txt";

// How the legacy name must land: read in the ANSI code page on Windows, as it always was;
// natively the bytes themselves.
std::string legacyNameOnDisk() {
#ifdef _WIN32
  wchar_t wide[64];
  const int length = ::MultiByteToWideChar(CP_ACP, 0, kCp1252Name.data(), static_cast<int>(kCp1252Name.size()),
                                           wide, 64);
  return zax::toUtf8(std::wstring(wide, static_cast<std::size_t>(length)));
#else
  return kCp1252Name;
#endif
}

// What Windows cannot hold in a name becomes '_' there; natively a name is any bytes.
std::string windowsSafe(std::string name) {
#ifdef _WIN32
  for (char& c : name)
    if (c == ':' || c == '?') c = '_';
#endif
  return name;
}

}  // namespace

#ifdef _WIN32
// Names Windows cannot hold as they are land under the one name they map to; members that
// the file system takes as one name (letter case) end with the later one written and the
// earlier one counted, naming what replaced it.
TEST_F(ExtractionSafety, NamesWindowsCannotHoldAreMappedAndClashesCounted) {
  Workspace x(*this);
  const std::int32_t result = x.run(TarBuilder()
                                        .file("NUL", "nul")
                                        .file("con.txt", "con")
                                        .file("a.", "a dot")
                                        .file("f:s", "colon")
                                        .file("A.txt", "upper")
                                        .file("a.txt", "lower")
                                        .end()
                                        .bytes());
  EXPECT_EQ(result, 9);
  EXPECT_EQ(x.contents("_NUL"), "nul");
  EXPECT_EQ(x.contents("_con.txt"), "con");
  EXPECT_EQ(x.contents("a_"), "a dot");
  EXPECT_EQ(x.contents("f_s"), "colon");
  EXPECT_EQ(x.contents("a.txt"), "lower");
  EXPECT_EQ(failures(), (std::vector<Failure>{{"A.txt", 15}}));
  std::string name(untgz::protocol::kHostBufferSize, ' '), reason(untgz::protocol::kHostBufferSize, ' ');
  call("getfailure", reinterpret_cast<std::intptr_t>(&name[0]), reinterpret_cast<std::intptr_t>(&reason[0]), 0);
  EXPECT_STREQ(reason.c_str(), "replaced by a.txt, which the file system takes as the same name");
}
#endif

// Names written by today's tools are UTF-8 (ustar and GNU long names as well as pax records):
// each lands under its exact name in a destination named in Cyrillic, with a path past 300
// characters, while a name in a legacy code page keeps the reading it always had.
TEST_F(Extraction, NamesInEveryScriptLandUnderTheirExactNames) {
  const std::string deep = std::string(90, 'd') + "/" + std::string(90, 'e') + "/" + std::string(90, 'f') +
                           "/\xD0\x93\xD0\xBB\xD1\x83\xD0\xB1\xD0\xBE\xD0\xBA\xD0\xBE.txt";  // .../Глубоко.txt
  struct Member {
    std::string name;
    enum { ustar, gnuLong, pax } form;
  };
  const Member members[] = {
      {"Latin/caf\xC3\xA9-na\xC3\xAFve-\xC3\x86r\xC3\xB8.txt", Member::ustar},          // café-naïve-Ærø.txt
      {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC/\xCE\xB1.txt", Member::pax},  // Ελληνικά/α.txt
      {"\xD0\x9A\xD0\xB8\xD1\x80\xD0\xB8\xD0\xBB\xD0\xBB\xD0\xB8\xD1\x86\xD0\xB0/\xD1\x84.txt", Member::gnuLong},
      {"\xE6\xBC\xA2\xE5\xAD\x97/\xE5\x90\x8D\xE5\x89\x8D.txt", Member::pax},            // 漢字/名前.txt
      {"emoji/\xF0\x9F\x98\x80-smile.txt", Member::pax},                                  // 😀 (outside the BMP)
      {"colon:and?question.txt", Member::ustar},
      {kCp1252Name, Member::ustar},
      {deep, Member::gnuLong},
  };
  TarBuilder archive;
  for (const Member& m : members) {
    switch (m.form) {
      case Member::ustar: archive.file(m.name, m.name); break;
      case Member::gnuLong: archive.gnuLongName(m.name, {"short-placeholder", '0', m.name}); break;
      case Member::pax: archive.pax({{"path", m.name}}).file("placeholder", m.name); break;
    }
  }
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("a.tar"), archive.end().bytes());
  const std::string destination = "\xD0\x9D\xD0\xB0\xD0\xB7\xD0\xBD\xD0\xB0\xD1\x87\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5";  // Назначение
  call("setflaglist", 0);
  ASSERT_EQ(call("zaxuntarutf8", text(folder.engineChild("a.tar")), text(folder.engineChild(destination)), text("*.*")), 0);
  waitForIdle();
  EXPECT_EQ(call("getintret"), 0);
  EXPECT_EQ(failures(), std::vector<Failure>{});

  std::vector<std::string> expected{"a.tar", destination};
  for (const Member& m : members) {
    const std::string name = destination + "/" + (m.name == kCp1252Name ? legacyNameOnDisk() : windowsSafe(m.name));
    for (std::size_t slash = name.find('/', destination.size() + 1); slash != std::string::npos;
         slash = name.find('/', slash + 1))
      expected.push_back(name.substr(0, slash));
    expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  std::string why;
  EXPECT_EQ(zaxtest::namesOnTheLinuxSide(folder.native(), why), expected) << why;
  EXPECT_GT(folder.native().size() + destination.size() + deep.size(), 300u);
  for (const Member& m : members) {
    if (m.name == kCp1252Name) continue;
    std::string contents;
    EXPECT_TRUE(zaxtest::readFile(folder.nativeChild(destination + "/" + windowsSafe(m.name)), contents)) << m.name;
    EXPECT_EQ(contents, m.name);
  }
}
