// The command protocol: exact matching, the simple commands, and the entry-list cursor.
#include <gtest/gtest.h>

#include "common/utf8.h"
#include "tests/support/engine_client.h"

#ifdef _WIN32
#include <windows.h>
#endif

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

namespace {

// A text of the engine (UTF-8) as a caller in the ANSI code page receives it: on Windows in
// that code page, natively (where it is UTF-8) the bytes themselves.
std::string inAnsi(const std::string& utf8) {
#ifdef _WIN32
  const std::wstring wide = zax::fromUtf8(utf8);
  char bytes[1024];
  const int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), bytes,
                                           sizeof bytes, nullptr, nullptr);
  return std::string(bytes, static_cast<std::size_t>(length));
#else
  return utf8;
#endif
}

// A name in cp1252, not UTF-8, as the engine holds it: read in the ANSI code page on
// Windows, the bytes themselves natively.
std::string asRead(const std::string& legacy) {
#ifdef _WIN32
  wchar_t wide[256];
  const int length = ::MultiByteToWideChar(CP_ACP, 0, legacy.data(), static_cast<int>(legacy.size()), wide, 256);
  return zax::toUtf8(std::wstring(wide, static_cast<std::size_t>(length)));
#else
  return legacy;
#endif
}

}  // namespace

// Each word speaks its own code page, whoever else uses the engine in the process: a caller
// of the UTF-8 forms (an archive in a folder named in Cyrillic, names whole) and a caller of
// the ANSI words written to 256-byte buffers take turns on one listing. The ANSI caller
// gets at most 255 bytes and the NUL, never a character cut in half, and nothing is
// written past its buffer.
TEST_F(Protocol, AnsiAndUtf8CallersInOneProcessEachGetTheirOwnForm) {
  std::string wide;  // 300 CJK characters, 900 bytes
  for (int i = 0; i < 300; ++i) wide += "\xE5\x90\x8D";  // 名
  const std::string accented = "caf\xC3\xA9.txt";          // café.txt
  const std::string legacy = "caf\xE9 \xC4rger.txt";       // café Ärger.txt in cp1252
  const auto archive =
      zaxtest::TarBuilder().gnuLongName(wide, {"short", '0', "x"}).file(accented, "a").file(legacy, "l").end().bytes();
  zaxtest::TempFolder folder;
  const std::string where = "\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2/a.tar";  // Архив/a.tar
  ASSERT_TRUE(zaxtest::makeFolder(folder.nativeChild("\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2")));
  zaxtest::writeFile(folder.nativeChild(where), archive);

  call("setflaglist", 1);
  const std::string path = folder.engineChild(where), root = "c:\\", all = "*.*";
  ASSERT_EQ(call("zaxuntarutf8", text(path), text(root), text(all)), 0);
  waitForIdle();
  ASSERT_EQ(call("getintret"), 0);
  std::vector<std::string> inUtf8, inCodePage;
  for (std::int32_t more = call("tarinfo"); more == 1; more = call("tarinfo2")) {
    std::string whole(4096, '#');
    const std::int32_t needed = call("tarinfofilenameutf8", reinterpret_cast<std::intptr_t>(&whole[0]),
                                     static_cast<std::intptr_t>(whole.size()));
    inUtf8.push_back(whole.c_str());
    EXPECT_EQ(needed, static_cast<std::int32_t>(inUtf8.back().size() + 1));
    std::string guarded(untgz::protocol::kHostBufferSize + 64, '#');
    call("tarinfofilename", reinterpret_cast<std::intptr_t>(&guarded[0]));
    EXPECT_EQ(guarded.substr(untgz::protocol::kHostBufferSize), std::string(64, '#')) << "written past 256 bytes";
    inCodePage.push_back(guarded.c_str());
  }
  call("tarinfodelete");
  EXPECT_EQ(inUtf8, (std::vector<std::string>{wide, accented, asRead(legacy)}));
  ASSERT_EQ(inCodePage.size(), 3u);
  const std::string& cut = inCodePage[0];
  EXPECT_LE(cut.size(), 255u);
  EXPECT_EQ(cut, inAnsi(wide.substr(0, 255 * 3)).substr(0, cut.size())) << "a start of the name in the code page";
#ifndef _WIN32
  EXPECT_EQ(cut, wide.substr(0, 255 - 255 % 3)) << "whole characters only";
#endif
  EXPECT_EQ(inCodePage[1], inAnsi(accented));
  EXPECT_EQ(inCodePage[2], inAnsi(asRead(legacy))) << "a legacy name keeps its bytes";
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
