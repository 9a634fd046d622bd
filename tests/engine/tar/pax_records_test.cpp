// pax extended header records: what the good ones change about the next member, the
// unusable ones passed over, and the malformed ones that make the header unreadable. The header view's name field.
#include "engine/tar/pax_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/tar/header.h"
#include "tests/support/test_support.h"

using zaxtest::paxRecord;

namespace {

struct Expected {
  bool hasPath = false, hasSize = false, hasMtime = false;
  std::string path;
  std::int64_t size = 0, mtime = 0;
  std::int32_t nanoseconds = 0;
};

TEST(PaxRecords, GoodRecordsAndWhatTheyOverride) {
  struct Case {
    const char* name;
    std::string data;
    Expected expected;
  };
  const std::string eighteenNines(18, '9');
  const Case cases[] = {
      {"no records", "", {}},
      {"path", paxRecord("path", "dir/file"), {true, false, false, "dir/file"}},
      {"a later record wins",
       paxRecord("path", "first") + paxRecord("path", "second"),
       {true, false, false, "second"}},
      {"an empty value takes the key back", paxRecord("path", "p") + paxRecord("path", ""), {}},
      {"'=' and a newline inside a value",
       paxRecord("path", "a=b\nc"),
       {true, false, false, "a=b\nc"}},
      {"size with leading zeros", paxRecord("size", "000123"), {false, true, false, "", 123}},
      {"size of 18 digits",
       paxRecord("size", eighteenNines),
       {false, true, false, "", 999999999999999999}},
      {"the largest size", paxRecord("size", "9223372036854775807"),
       {false, true, false, "", 0x7fffffffffffffffLL}},
      {"size taken back", paxRecord("size", "5") + paxRecord("size", ""), {}},
      {"fraction of a time kept to the nanosecond",
       paxRecord("mtime", "1350244992.02396"),
       {false, false, true, "", 0, 1350244992, 23960000}},
      {"digits past the nanosecond dropped",
       paxRecord("mtime", "5.1234567891"),
       {false, false, true, "", 0, 5, 123456789}},
      // An instant before 1970: seconds rounded down, the nanoseconds after them.
      {"negative time", paxRecord("mtime", "-3.25"), {false, false, true, "", 0, -4, 750000000}},
      {"time with an empty fraction", paxRecord("mtime", "7."), {false, false, true, "", 0, 7}},
      {"keys this reader does not use",
       paxRecord("uid", "not a number") + paxRecord("comment", ""),
       {}},
      {"linkpath (read into the link's own field)", paxRecord("linkpath", "target"), {}},
      {"NUL padding after the last record",
       paxRecord("path", "p") + std::string(40, '\0'),
       {true, false, false, "p"}},
      {"all together",
       paxRecord("path", "p") + paxRecord("size", "3") + paxRecord("mtime", "9"),
       {true, true, true, "p", 3, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    untgz::PaxOverrides pax;
    ASSERT_TRUE(untgz::parsePaxRecords(c.data, pax));
    EXPECT_EQ(pax.hasPath, c.expected.hasPath);
    EXPECT_EQ(pax.hasSize, c.expected.hasSize);
    EXPECT_EQ(pax.hasMtime, c.expected.hasMtime);
    // A value taken back may linger; only the values in force are compared.
    if (c.expected.hasPath) {
      EXPECT_EQ(pax.path, c.expected.path);
    }
    if (c.expected.hasSize) {
      EXPECT_EQ(pax.size, c.expected.size);
    }
    if (c.expected.hasMtime) {
      EXPECT_EQ(pax.mtime, c.expected.mtime);
      EXPECT_EQ(pax.mtimeNanoseconds, c.expected.nanoseconds);
    }
  }
}

// Records that say nothing this reader can use are passed over, as other readers pass
// them over: the header's own field stays in force, and the records around them count.
TEST(PaxRecords, UnusableRecordsArePassedOver) {
  struct Case {
    const char* name;
    std::string data;
    Expected expected;
  };
  const Expected pathOnly{true, false, false, "p"};
  const Case cases[] = {
      {"a time with anything after it", paxRecord("mtime", "1748089464.951928467a"), {}},
      {"a time with a letter in its fraction", paxRecord("mtime", "1.5x"), {}},
      {"a time that is only a dot", paxRecord("mtime", "."), {}},
      {"a time with two signs", paxRecord("mtime", "--1"), {}},
      {"a size that is no number", paxRecord("size", "12a"), {}},
      {"a negative size", paxRecord("size", "-1"), {}},
      {"a size past 64 bits", paxRecord("size", "9223372036854775808"), {}},
      {"an unusable value keeps the one before",
       paxRecord("mtime", "5") + paxRecord("mtime", "6x") + paxRecord("path", "p"),
       {true, false, true, "p", 0, 5}},
      {"the last record without its newline, the length counting it",
       paxRecord("path", "p") + "9 mtime=", pathOnly},
      {"the last record without its newline, the length not counting it",
       paxRecord("path", "p") + "8 mtime=", pathOnly},
      {"the last record ending in NUL padding", paxRecord("path", "p") + std::string("9 size=1\0\0\0", 11), pathOnly},
      {"a record without '='", paxRecord("path", "p") + "8 pathx\n", pathOnly},
      {"a record without a key", "6 =ab\n" + paxRecord("path", "p"), pathOnly},
      {"a NUL in a key", std::string("9 pa\0h=x\n", 9) + paxRecord("path", "p"), pathOnly},
      {"a path up to a NUL in it", paxRecord("path", std::string("p\0b", 3)), pathOnly},
      {"a link target with a NUL", paxRecord("linkpath", std::string("a\0b", 3)) + paxRecord("path", "p"),
       pathOnly},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    untgz::PaxOverrides pax;
    ASSERT_TRUE(untgz::parsePaxRecords(c.data, pax));
    EXPECT_EQ(pax.hasPath, c.expected.hasPath);
    EXPECT_EQ(pax.hasSize, c.expected.hasSize);
    EXPECT_EQ(pax.hasMtime, c.expected.hasMtime);
    if (c.expected.hasPath) {
      EXPECT_EQ(pax.path, c.expected.path);
    }
    if (c.expected.hasMtime) {
      EXPECT_EQ(pax.mtime, c.expected.mtime);
      EXPECT_EQ(pax.mtimeNanoseconds, c.expected.nanoseconds);
    }
  }
}

// Records that cannot be told apart end the walk: nothing after them can be trusted.
TEST(PaxRecords, MalformedRecordsAreRefused) {
  struct Case {
    const char* name;
    std::string data;
  };
  const Case cases[] = {
      {"no blank after the length", "12path=abcde\n"},
      {"a length that is no number", "1a path=x\n"},
      {"a length no longer than its own digits and blank", "2 x=\n"},
      {"a length far past the data", "99 path=a\n"},
      {"a length one past data that ends in a newline", "12 path=ab\n"},
      {"a record that does not end at a newline before the next",
       "9 path=ab" + paxRecord("size", "1")},
      {"data after the NUL padding", paxRecord("path", "p") + std::string(3, '\0') + "x"},
      {"a good record, then a cut one", paxRecord("path", "p") + "5 x\n"},
      {"a sparse offset that is no number", paxRecord("GNU.sparse.offset", "1x")},
      {"a sparse length without its offset", paxRecord("GNU.sparse.numbytes", "1")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    untgz::PaxOverrides pax;
    EXPECT_FALSE(untgz::parsePaxRecords(c.data, pax));
  }
}

// The prefix field holds the folders of a ustar name only; old GNU headers keep other
// data in those bytes, and their magic tells them apart.
TEST(HeaderView, TheUstarPrefixIsJoinedOnlyInUstarHeaders) {
  struct Case {
    const char* name;
    const char* magic;
    const char* prefix;
    std::string expected;
  };
  const Case cases[] = {
      {"ustar with a prefix",
       "ustar\0"
       "00",
       "some/folder", "some/folder/file"},
      {"ustar without one",
       "ustar\0"
       "00",
       "", "file"},
      {"old GNU magic", "ustar  \0", "not a folder", "file"},
      {"no magic", "\0\0\0\0\0\0\0\0", "not a folder", "file"},
  };
  // One string written again for every header, as the reader does: nothing of the name
  // before may be left in it.
  std::string name = "a longer name from the header before";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unsigned char block[512] = {};
    std::memcpy(block, "file", 4);
    std::memcpy(block + 257, c.magic, 8);
    std::memcpy(block + 345, c.prefix, std::strlen(c.prefix));
    untgz::HeaderView(block).name(name);
    EXPECT_EQ(name, c.expected);
  }
  unsigned char fullName[512] = {};
  std::memset(fullName, 'n', 100);  // a name that fills its field has no NUL
  fullName[100] = 'x';              // and the next field does not belong to it
  untgz::HeaderView(fullName).name(name);
  EXPECT_EQ(name, std::string(100, 'n'));
}

}  // namespace
