// The listing walk: entry values, local times, and archives written by other tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "common/protocol.h"
#include "engine/tar/entry_list.h"
#include "tests/support/engine_client.h"

using namespace enginetest;
using zaxtest::TarBuilder;

namespace {

class Listing : public EngineTest {};

}  // namespace

TEST_F(Listing, EntriesCarryKindSizeAndLocalTime) {
  TarBuilder::Entry epoch{"a/x.txt", '0', "0123456789", 0};
  const ListResult listing =
      listBytes(TarBuilder().directory("a/").add(epoch).file("a/y", "").end().bytes());
  ASSERT_EQ(listing.result, 0);
  ASSERT_EQ(listing.entries.size(), 3u);
  EXPECT_EQ(listing.dirs, 1);
  EXPECT_EQ(listing.files, 2);
  EXPECT_EQ(listing.entries[0].isDir, 1);
  EXPECT_EQ(listing.entries[0].size, 0);
  EXPECT_EQ(listing.entries[1].isDir, 0);
  EXPECT_EQ(listing.entries[1].size, 10);
  EXPECT_EQ(listing.entries[2].size, 0);

  // Time 0 is 1 January 1970 00:00:00 UTC, shown in the process's time zone.
  std::time_t zero = 0;
  const std::tm local = *std::localtime(&zero);
  const Listed& x = listing.entries[1];
  EXPECT_EQ(x.year, local.tm_year + 1900);
  EXPECT_EQ(x.month, local.tm_mon + 1);
  EXPECT_EQ(x.day, local.tm_mday);
  EXPECT_EQ(x.hour, local.tm_hour);
  EXPECT_EQ(x.minute, local.tm_min);
  EXPECT_EQ(x.second, local.tm_sec);
  EXPECT_EQ(listing.entries[0].year >= 2004 && listing.entries[0].year <= 2005, true);
}

TEST_F(Listing, LinksDevicesAndFifosAreNotListed) {
  TarBuilder::Entry symlink{"link", '2'};
  symlink.linkname = "a";
  const ListResult listing = listBytes(TarBuilder()
                                        .file("a", "1")
                                        .add(symlink)
                                        .add({"hard", '1'})
                                        .add({"fifo", '6'})
                                        .add({"dev", '3'})
                                        .end()
                                        .bytes());
  EXPECT_EQ(listing.result, 0);
  EXPECT_EQ(listing.names(), (std::vector<std::string>{"a"}));
}

// Archives written by many other tar implementations, some deliberately broken.
TEST_F(Listing, ArchivesFromOtherWriters) {
  struct Case {
    const char* file;
    std::int32_t result;
    std::vector<std::string> names;
  };
  const std::string longUstar = [] {
    std::string name;
    for (int i = 0; i < 15; ++i) name += "longname/";
    return name + "file.txt";
  }();
  std::string nulPath;
  while (nulPath.size() < 200) nulPath += "0123456789";
  std::string trailingSlash;  // a pax path of 1000 characters, cut to what a host can take
  while (trailingSlash.size() < 255) trailingSlash += "123456789/";
  trailingSlash.resize(255);
  const Case cases[] = {
      {"gnu.tar", 0, {"small.txt", "small2.txt"}},
      {"star.tar", 0, {"small.txt", "small2.txt"}},
      {"v7.tar", 0, {"small.txt", "small2.txt"}},
      {"ustar.tar", 0, {longUstar}},
      {"file-and-dir.tar", 0, {"small.txt", "dir/"}},
      {"hdr-only.tar", 0, {"dir/", "file", "dir/", "file"}},
      {"gnu-long-nul.tar", 0, {"0123456789"}},
      // Archives that end right after a member, without end blocks.
      {"pax-pos-size-file.tar", 0, {"foo"}},
      {"ustar-file-reg.tar", 0, {"foo"}},
      {"nil-uid.tar", 0, {"P1050238.JPG.log"}},
      {"gnu-incremental.tar", 0, {"test2/foo", "test2/sparse"}},
      {"gnu-multi-hdrs.tar", 0, {}},
      // Only extended headers, and then the input ends: their member is missing.
      {"pax-path-hdr.tar", 8, {}},
      {"pax-records.tar", 0, {"file"}},
      {"pax-global-records.tar", 0, {"file1", "file2", "file3", "file4"}},
      {"sparse-formats.tar", 0,
       {"sparse-gnu", "sparse-posix-0.0", "sparse-posix-0.1", "sparse-posix-1.0", "end"}},
      {"gnu-nil-sparse-data.tar", 0, {"sparse.db"}},
      {"pax-nil-sparse-hole.tar", 0, {"sparse.db"}},
      {"trailing-slash.tar", 0, {trailingSlash}},
      // Extended headers with records that say nothing usable: a path record without its
      // final newline, a time with letters in it and a key with a NUL in it are passed over,
      // a path is read up to a NUL in it, as GNU tar and bsdtar read them.
      {"pax-bad-hdr-file.tar", 0, {"foo"}},
      {"pax-bad-mtime-file.tar", 0, {"foo"}},
      {"pax-nul-path.tar", 0, {nulPath}},
      {"pax-nul-xattrs.tar", 0, {"bad-null.txt"}},
      {"neg-size.tar", 8, {}},
      {"issue10968.tar", 8, {}},
      {"issue11169.tar", 8, {}},
      {"issue12435.tar", 8, {}},  // a first byte of NUL, then no header
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const ListResult listing = listArchive(zaxtest::enginePath(std::string(ZAX_CONFORMANCE_DIR) + "/" + c.file));
    EXPECT_EQ(listing.result, c.result);
    EXPECT_EQ(listing.names(), c.names);
  }
}

TEST_F(Listing, SizesAndTimesFromOtherWriters) {
  struct Case { const char* file; std::size_t index; std::int32_t size; std::time_t mtime; };
  const Case cases[] = {
      {"gnu.tar", 0, 5, 1244428340},        {"gnu.tar", 1, 11, 1244436044},
      {"ustar.tar", 0, 6, 1360135598},      {"pax.tar", 0, 7, 1350244992},  // pax time 1350244992.02396
      {"hdr-only.tar", 1, 46, 1442273747},  {"hdr-only.tar", 3, 46, 1442273747},
      // Sparse files: their real sizes, 60 GB ones saturated at what the host can take.
      {"sparse-formats.tar", 0, 200, 1392395740}, {"sparse-formats.tar", 3, 200, 1392337404},
      {"gnu-sparse-big.tar", 0, 2147483647, 0},   {"pax-sparse-big.tar", 0, 2147483647, 0},
      {"gnu-nil-sparse-hole.tar", 0, 1000, 0},
      // A pax time with letters in it leaves the header's.
      {"pax-bad-mtime-file.tar", 0, 684, 1442282516},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " #" + std::to_string(c.index));
    const ListResult listing = listArchive(zaxtest::enginePath(std::string(ZAX_CONFORMANCE_DIR) + "/" + c.file));
    ASSERT_GT(listing.entries.size(), c.index);
    const Listed& entry = listing.entries[c.index];
    const std::tm local = *std::localtime(&c.mtime);
    EXPECT_EQ(entry.size, c.size);
    EXPECT_EQ((std::vector<int>{entry.year, entry.month, entry.day, entry.hour, entry.minute, entry.second}),
              (std::vector<int>{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                local.tm_min, local.tm_sec}));
  }
}

// The entry list keeps only what a host can be handed: each name whole up to the longest
// path a host takes (32,767 UTF-16 units), however long the name in the archive (here a
// pax path and a GNU long name of 1 MiB). The ANSI word hands out its first 255
// characters; the UTF-8 word the whole of it, and the size it needs when the buffer is
// smaller, writing no byte past the size it was given.
TEST_F(Listing, StoredNamesAreBoundedToWhatTheHostIsHanded) {
  std::vector<std::string> names;
  for (char c : {'p', 'g', 'q'}) {
    std::string name;
    for (int i = 0; name.size() < (1u << 20); ++i) name += c + std::to_string(i) + "/";
    names.push_back(name);
  }
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("long.tar"), TarBuilder()
                                                         .pax({{"path", names[0]}})
                                                         .file("short-p", "1")
                                                         .gnuLongName(names[1], {"short-g", '0', "2"})
                                                         .pax({{"path", names[2]}})
                                                         .directory("short-q/")
                                                         .end()
                                                         .bytes());
  call("setflaglist", 1);
  const std::string archive = folder.engineChild("long.tar"), root = "c:\\", all = "*.*";
  ASSERT_EQ(call("zaxuntar", text(archive), text(root), text(all)), 0);
  waitForIdle();
  EXPECT_EQ(call("getintret"), 0);
  std::vector<std::string> stored;
  for (std::int32_t more = call("tarinfo"); more == 1; more = call("tarinfo2")) {
    stored.push_back(engine.entries().readCurrent([](const untgz::EntryRecord& entry) { return std::string(entry.name); }));
    EXPECT_EQ(textResult("tarinfofilename"), stored.back().substr(0, 255));
    std::string whole(untgz::protocol::kMaxWholeText + 10, '#');
    EXPECT_EQ(call("tarinfofilenameutf8", reinterpret_cast<std::intptr_t>(&whole[0]),
                   static_cast<std::intptr_t>(whole.size())),
              static_cast<std::int32_t>(stored.back().size() + 1));
    EXPECT_EQ(whole.c_str(), stored.back());
    std::string small(20, '#');
    EXPECT_EQ(call("tarinfofilenameutf8", reinterpret_cast<std::intptr_t>(&small[0]), 10),
              static_cast<std::int32_t>(stored.back().size() + 1));
    EXPECT_EQ(small, stored.back().substr(0, 9) + std::string(1, '\0') + std::string(10, '#'));
  }
  call("tarinfodelete");
  ASSERT_EQ(stored.size(), 3u);
  for (std::size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(stored[i], names[i].substr(0, untgz::protocol::kMaxWholeText));
}

// What long names take together is capped: once the list's budget is spent, a name is kept
// as the ANSI words hand it, and the list counts the names it cut.
TEST(EntryListBudget, LongNamesTogetherStayBounded) {
  untgz::EntryList list;
  const std::string longName(untgz::protocol::kMaxWholeText, 'n');
  const int count = 2000;  // 64 MB of names if each were kept whole
  for (int i = 0; i < count; ++i) list.add(0, 0, 0, 0, 2004, 6, 1, longName, 1);
  EXPECT_GT(list.cutNames(), 0);
  std::size_t whole = 0, total = 0;
  for (std::int32_t more = list.next(0); more == 1; more = list.next(1)) {
    const std::size_t length = list.readCurrent([](const untgz::EntryRecord& e) { return e.name.size(); });
    EXPECT_TRUE(length == longName.size() || length == 255) << length;
    whole += length == longName.size();
    total += length;
  }
  EXPECT_EQ(static_cast<std::int64_t>(count - whole), list.cutNames());
  EXPECT_LE(total, 40u << 20);
  // Freeing the list keeps the count for the host to ask; the next job forgets it.
  list.clear();
  EXPECT_EQ(list.cutNames(), static_cast<std::int64_t>(count - whole));
  list.forgetCutNames();
  EXPECT_EQ(list.cutNames(), 0);
}

// Archive shapes that other readers take, each listed plain and gzip-compressed: what the
// listing holds and how the job ends.
TEST_F(Listing, ShapesOtherReadersTake) {
  struct Expected {
    std::string name;
    std::int32_t isDir, size;
    std::time_t mtime;
  };
  struct Case {
    const char* what;
    zaxtest::Bytes archive;
    std::int32_t result;
    std::vector<Expected> entries;
  };
  constexpr std::time_t kTime = 1086091200;  // TarBuilder's
  constexpr std::int64_t kHuge = 4LL << 60;   // 4 EiB
  const Case cases[] = {
      {"a first directory without a name",
       TarBuilder().add({"", '5'}).file("a.txt", "abc").end().bytes(), 0,
       {{"", 1, 0, kTime}, {"a.txt", 0, 3, kTime}}},
      // pax records that say nothing usable are passed over; the header's field stands.
      {"a pax time with anything after it",
       TarBuilder().pax({{"mtime", "1748089464.951928467a"}}).file("a.txt", "abc").end().bytes(), 0,
       {{"a.txt", 0, 3, kTime}}},
      {"a last pax record without its newline, counted in its length",
       TarBuilder().add({"PaxHeaders/a.txt", 'x', "9 mtime="}).file("a.txt", "abc").end().bytes(), 0,
       {{"a.txt", 0, 3, kTime}}},
      {"a last pax record without its newline, not counted",
       TarBuilder()
           .add({"PaxHeaders/a.txt", 'x', zaxtest::paxRecord("mtime", "5") + "13 path=b.txt"})
           .file("a.txt", "abc")
           .end()
           .bytes(),
       0, {{"a.txt", 0, 3, 5}}},
      // Old writers' folders: a regular typeflag, a name ending in '/', a size and no data.
      {"an old folder with a size and no data",
       TarBuilder().add({"d/", '0', "", kTime, 1000}).file("d/a.txt", "abc").end().bytes(), 0,
       {{"d/", 1, 0, kTime}, {"d/a.txt", 0, 3, kTime}}},
      {"an old folder with a NUL typeflag",
       TarBuilder().add({"d/", '\0', "", kTime, 1000}).file("d/a.txt", "abc").end().bytes(), 0,
       {{"d/", 1, 0, kTime}, {"d/a.txt", 0, 3, kTime}}},
      {"an old folder last, with a size", TarBuilder().add({"d/", '0', "", kTime, 1000}).end().bytes(), 0,
       {{"d/", 1, 0, kTime}}},
      {"an old folder with data after it",
       TarBuilder().add({"d/", '0', std::string(700, 'x')}).file("d/a.txt", "abc").end().bytes(), 0,
       {{"d/", 1, 0, kTime}, {"d/a.txt", 0, 3, kTime}}},
      // Sparse files of exabytes, their sizes saturated at what the host can take.
      {"a pax 0.1 sparse file of 4 EiB",
       TarBuilder().paxSparse(TarBuilder::SparseForm::v01, "huge", kHuge, {{0, 1}}, "h").file("after", "z").end().bytes(),
       0, {{"huge", 0, 2147483647, kTime}, {"after", 0, 1, kTime}}},
      {"a pax 1.0 sparse file of 4 EiB, data at its end",
       TarBuilder()
           .paxSparse(TarBuilder::SparseForm::v10, "huge", kHuge, {{kHuge - 1, 1}}, "h")
           .file("after", "z")
           .end()
           .bytes(),
       0, {{"huge", 0, 2147483647, kTime}, {"after", 0, 1, kTime}}},
      // A length that does not fit the records leaves nothing to trust.
      {"a pax record longer than the records",
       TarBuilder().add({"PaxHeaders/a.txt", 'x', "30 path=b.txt\n"}).file("a.txt", "abc").end().bytes(), 8,
       {}},
  };
  for (const Case& c : cases) {
    for (const bool compressed : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (compressed ? ", gzip" : ", plain"));
      const ListResult listing = listBytes(compressed ? zaxtest::gzipCompress(c.archive) : c.archive);
      EXPECT_EQ(listing.result, c.result);
      ASSERT_EQ(listing.entries.size(), c.entries.size());
      for (std::size_t i = 0; i < c.entries.size(); ++i) {
        const Expected& want = c.entries[i];
        const Listed& got = listing.entries[i];
        const std::tm local = *std::localtime(&want.mtime);
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(got.isDir, want.isDir) << want.name;
        EXPECT_EQ(got.size, want.size) << want.name;
        EXPECT_EQ((std::vector<int>{got.year, got.month, got.day, got.hour, got.minute, got.second}),
                  (std::vector<int>{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                    local.tm_min, local.tm_sec}))
            << want.name;
      }
    }
  }
}

// "tarinforecordutf8" hands out what the field words give, one entry per command, and
// moves through the list as "tarinfo" and "tarinfo2" do; a buffer too small for the name
// gets the size to ask again with, for the same entry.
TEST_F(Listing, WholeRecordsGiveWhatTheFieldWordsGive) {
  namespace protocol = untgz::protocol;
  const std::string longName = "d/" + std::string(300, 'n');
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("a.tar"), TarBuilder()
                                                      .directory("d/")
                                                      .file("d/x.txt", "0123456789")
                                                      .file(longName, "")
                                                      .end()
                                                      .bytes());
  const ListResult fields = listArchive(folder.engineChild("a.tar"));
  ASSERT_EQ(fields.entries.size(), 3u);

  call("setflaglist", 1);
  const std::string archive = folder.engineChild("a.tar"), root = "c:\\", all = "*.*";
  ASSERT_EQ(call("zaxuntar", text(archive), text(root), text(all)), 0);
  waitForIdle();
  std::vector<char> buffer(sizeof(protocol::EntryRecordHeader) + 8);
  const auto ask = [&](std::int32_t which) {
    return call("tarinforecordutf8", reinterpret_cast<std::intptr_t>(buffer.data()),
                static_cast<std::intptr_t>(buffer.size()), which);
  };
  std::int32_t which = protocol::kFirstRecord;
  for (const Listed& expected : fields.entries) {
    SCOPED_TRACE(expected.name);
    std::int32_t needed = ask(which);
    which = protocol::kNextRecord;
    ASSERT_GT(needed, 0);
    if (static_cast<std::size_t>(needed) > buffer.size()) {
      buffer.resize(static_cast<std::size_t>(needed));
      ASSERT_EQ(ask(protocol::kCurrentRecord), needed);
    }
    protocol::EntryRecordHeader header;
    std::memcpy(&header, buffer.data(), sizeof header);
    EXPECT_EQ(std::string(buffer.data() + sizeof header), expected.name);
    EXPECT_EQ(static_cast<std::size_t>(needed), sizeof header + expected.name.size() + 1);
    EXPECT_EQ(header.isDirectory, expected.isDir);
    EXPECT_EQ(header.size, expected.size);
    EXPECT_EQ(header.sizeHigh, 0u);
    EXPECT_EQ(header.sizeLow, static_cast<std::uint32_t>(expected.size));
    EXPECT_EQ((std::vector<std::int32_t>{header.year, header.month, header.day, header.hour,
                                         header.minute, header.second}),
              (std::vector<std::int32_t>{expected.year, expected.month, expected.day,
                                         expected.hour, expected.minute, expected.second}));
    EXPECT_EQ(header.files, 2);
    EXPECT_EQ(header.directories, 1);
    EXPECT_EQ(textResult("tarinfofilename").size(), std::min<std::size_t>(expected.name.size(), 255))
        << "the record's entry is the current one";
  }
  EXPECT_EQ(ask(protocol::kNextRecord), protocol::kNoEntry);
  EXPECT_EQ(call("tarinfo2"), 0) << "the list was walked to its end, as with \"tarinfo2\"";
  EXPECT_GT(ask(protocol::kFirstRecord), 0) << "rewinds as \"tarinfo\" does";
  call("tarinfodelete");
  EXPECT_EQ(ask(protocol::kFirstRecord), protocol::kNoEntry);
}
