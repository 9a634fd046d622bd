// The command protocol: exact matching, the simple commands, and the entry-list cursor.
#include <gtest/gtest.h>

#include "tests/support/engine_client.h"

using namespace enginetest;

namespace {

// Each test's engine is as the library leaves it right after load.
class Protocol : public EngineTest {};
class EntryList : public EngineTest {};

}  // namespace

TEST_F(EntryList, EmptyListLeavesTheCurrentEntryAlone) {
  EXPECT_EQ(call("tarinfo"), 0);
  EXPECT_EQ(call("tarinfo2"), 0);
  for (const char* getter : {"tarinfoisdir", "tarinfosecond", "tarinfominute", "tarinfohour",
                             "tarinfoyear", "tarinfomonth", "tarinfoday", "tarinfosize"})
    EXPECT_EQ(call(getter), 0) << getter;
  EXPECT_EQ(textResult("tarinfofilename"), "");
}

TEST_F(Protocol, FinishedValueIsStoredAndReadBack) {
  EXPECT_EQ(call("getfinished"), 0);
  EXPECT_EQ(call("setfinished", 7), 0);
  EXPECT_EQ(call("getfinished"), 7);
  EXPECT_EQ(call("setfinished", -3), 0);
  EXPECT_EQ(call("getfinished"), -3);
}

TEST_F(Protocol, OnlyExactWordsMatch) {
  call("setfinished", 7);
  for (const char* word : {"Status", "status ", " status", "tarinfo2x", "TARINFO", "", "setfinishe",
                           "setfinished\n"}) {
    SCOPED_TRACE(word);
    EXPECT_EQ(call(word, 99, 99, 99), 0);
  }
  EXPECT_EQ(call("getfinished"), 7) << "a near-miss word must not run setfinished";
  EXPECT_EQ(call(nullptr), 0);
}

TEST_F(Protocol, CompressionLevelKeepsOnlyZeroToNine) {
  struct Case {
    std::intptr_t level;
    std::int32_t result;
  };
  for (const Case& c :
       {Case{9, 0}, Case{10, 1}, Case{-1, 1}, Case{0, 0}, Case{4, 0}, Case{100, 1}}) {
    SCOPED_TRACE(c.level);
    EXPECT_EQ(call("compressionlevel", c.level), c.result);
  }
}

TEST_F(Protocol, IdleEngineAnswers) {
  EXPECT_EQ(call("status"), 0);
  EXPECT_EQ(call("getintret"), 0);
  EXPECT_EQ(call("getporcentagem"), 0);
  EXPECT_EQ(textResult("geterrorstring"), "");
  // Pause, resume and cancel while idle only set flags.
  for (const char* word : {"pause", "resume", "cancel"}) EXPECT_EQ(call(word), 0);
}

TEST_F(Protocol, SetFlagListZeroesTheCounters) {
  listBytes(zaxtest::TarBuilder().directory("d/").file("d/f", "x").end().bytes());
  EXPECT_EQ(call("getnumdir"), 1);
  EXPECT_EQ(call("setflaglist", 1), 0);
  EXPECT_EQ(call("getnumdir"), 0);
  EXPECT_EQ(call("getnumfiles"), 0);
}

TEST_F(EntryList, CursorWalksTheEntriesInOrderAndRewinds) {
  call("setflaglist", 1);
  zaxtest::TempFolder folder;
  zaxtest::writeFile(
      folder.nativeChild("a.tar"),
      zaxtest::TarBuilder().file("one", "1").file("two", "22").file("three", "333").end().bytes());
  const std::string archive = folder.engineChild("a.tar"), root = "c:\\", all = "*.*";
  EXPECT_EQ(call("tarinfo2"), 0) << "after load, tarinfo2 waits for a rewind";
  ASSERT_EQ(call("zaxuntar", text(archive), text(root), text(all)), 0);
  waitForIdle();
  EXPECT_EQ(call("tarinfo2"), 0) << "a listing in between does not rewind";
  ASSERT_EQ(call("tarinfo"), 1);
  EXPECT_EQ(textResult("tarinfofilename"), "one");
  ASSERT_EQ(call("tarinfo2"), 1);
  EXPECT_EQ(textResult("tarinfofilename"), "two");
  ASSERT_EQ(call("tarinfo2"), 1);
  EXPECT_EQ(textResult("tarinfofilename"), "three");
  EXPECT_EQ(call("tarinfosize"), 3);
  EXPECT_EQ(call("tarinfo2"), 0);
  EXPECT_EQ(call("tarinfo2"), 0);
  ASSERT_EQ(call("tarinfo"), 1);
  EXPECT_EQ(textResult("tarinfofilename"), "one");

  // Freeing keeps the loaded entry's values; the list itself is empty.
  EXPECT_EQ(call("tarinfodelete"), 0);
  EXPECT_EQ(call("tarinfo"), 0);
  EXPECT_EQ(textResult("tarinfofilename"), "one");
  EXPECT_EQ(call("tarinfosize"), 1);
  EXPECT_EQ(call("tarinfodelete"), 0);
}

TEST_F(EntryList, ListingsAccumulateUntilFreedWhileCountersFollowTheLastJob) {
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("1.tar"),
                     zaxtest::TarBuilder().file("first", "").end().bytes());
  zaxtest::writeFile(folder.nativeChild("2.tar"),
                     zaxtest::TarBuilder().directory("second/").file("second/x", "").end().bytes());
  const std::string root = "c:\\", all = "*.*";
  for (const char* name : {"1.tar", "2.tar"}) {
    const std::string archive = folder.engineChild(name);
    call("setflaglist", 1);
    ASSERT_EQ(call("zaxuntar", text(archive), text(root), text(all)), 0);
    waitForIdle();
  }
  std::vector<std::string> names;
  for (std::int32_t more = call("tarinfo"); more == 1; more = call("tarinfo2"))
    names.push_back(textResult("tarinfofilename"));
  EXPECT_EQ(names, (std::vector<std::string>{"first", "second/", "second/x"}));
  EXPECT_EQ(call("getnumdir"), 1);
  EXPECT_EQ(call("getnumfiles"), 1);
  call("tarinfodelete");
}

TEST_F(EntryList, LongNamesAreCutToTheHostBuffer) {
  const std::string longName(300, 'n');
  const ListResult listing =
      listBytes(zaxtest::TarBuilder().gnuLongName(longName, {"short", '0', "data"}).end().bytes());
  ASSERT_EQ(listing.entries.size(), 1u);
  EXPECT_EQ(listing.entries[0].name, std::string(255, 'n'));
}

// Nothing of one engine reaches another: each library load, and each test, has its own.
TEST(Engine, StateBelongsToItsEngine) {
  untgz::Engine first, second;
  EngineClient one(first), other(second);
  one.call("setfinished", 7);
  one.call("compressionlevel", 3);
  const ListResult listing = one.listBytes(zaxtest::TarBuilder().file("a", "1").end().bytes());
  ASSERT_EQ(listing.entries.size(), 1u);
  one.call("tarinfo");
  EXPECT_EQ(other.call("getfinished"), 0);
  EXPECT_EQ(other.call("getnumfiles"), 0);
  EXPECT_EQ(other.call("tarinfo"), 0);
  EXPECT_EQ(other.textResult("tarinfofilename"), "");
  EXPECT_EQ(one.textResult("tarinfofilename"), "a");
}
