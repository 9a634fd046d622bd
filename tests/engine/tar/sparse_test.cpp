// Sparse members in GNU tar's four forms: listed under their real names and sizes, and
// maps that do not fit their member refused before anything of it is listed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/engine_client.h"

using namespace enginetest;
using zaxtest::Bytes;
using zaxtest::TarBuilder;
using Form = TarBuilder::SparseForm;

namespace {

class Sparse : public EngineTest {};

}  // namespace

TEST_F(Sparse, EveryGnuFormListsUnderItsRealNameAndSize) {
  // More segments than the old header holds, so that two extension blocks follow it.
  TarBuilder::Segments many;
  std::string manyStored;
  for (int i = 0; i < 30; ++i) {
    many.push_back({i * 1000, 7});
    manyStored += "segment";
  }
  const Bytes archive = TarBuilder()
                            .file("before", "b")
                            .oldSparse("old-gnu", 40000, many, manyStored)
                            .paxSparse(Form::v00, "pax/zero-zero", 3000000000LL, {{0, 2}}, "ab")
                            .paxSparse(Form::v01, "pax/zero-one", 5000, {{4990, 10}}, "0123456789")
                            .paxSparse(Form::v10, "pax/one-zero", 70000, {{512, 3}, {70000, 0}}, "xyz")
                            .file("after", "a")
                            .end()
                            .bytes();
  const ListResult listing = listBytes(archive);
  EXPECT_EQ(listing.result, 0);
  EXPECT_EQ(listing.names(), (std::vector<std::string>{"before", "old-gnu", "pax/zero-zero", "pax/zero-one",
                                                       "pax/one-zero", "after"}));
  std::vector<std::int32_t> sizes;
  for (const Listed& entry : listing.entries) sizes.push_back(entry.size);
  // 3,000,000,000 bytes is more than the host's 32-bit size can hold.
  EXPECT_EQ(sizes, (std::vector<std::int32_t>{1, 40000, 2147483647, 5000, 70000, 1}));
  EXPECT_EQ(listing.files, 6);
}

TEST_F(Sparse, MapsThatDoNotFitTheirMemberEndTheWalk) {
  const auto v01 = [](const std::string& size, const std::string& map, const std::string& stored) {
    return TarBuilder().file("before", "b").pax({{"GNU.sparse.size", size}, {"GNU.sparse.map", map}}).file("s", stored);
  };
  const auto v10 = [](const std::string& mapText, std::int64_t storedSize) {
    TarBuilder::Entry member{"GNUSparseFile.0/s", '0', mapText};
    member.data.resize(512, '\0');
    member.sizeField = storedSize;
    return TarBuilder()
        .file("before", "b")
        .pax({{"GNU.sparse.major", "1"}, {"GNU.sparse.minor", "0"}, {"GNU.sparse.realsize", "100"}})
        .add(member);
  };
  std::string hugeMap;  // one segment more than a member may have, in 2 MiB of records
  for (int i = 0; i <= 512 * 1024; ++i) hugeMap += "0,0,";
  hugeMap.pop_back();
  Bytes badOldNumber = TarBuilder().oldSparse("s", 10, {{0, 1}}, "x").bytes();
  badOldNumber[386 + 3] = 'z';
  TarBuilder::seal(badOldNumber);

  struct Case { const char* name; TarBuilder archive; };
  const Case cases[] = {
      {"offsets out of order", v01("200", "100,1,50,1", "ab")},
      {"segments overlapping", v01("200", "0,10,5,10", std::string(20, 'o'))},
      {"a segment past the real size", v01("100", "95,10", std::string(10, 'p'))},
      {"a segment past every 64-bit offset", v01("999999999999999999", "999999999999999990,99", "q")},
      {"more bytes than the member stores", v01("2000", "0,600", std::string(512, 'm'))},
      {"an offset without its length", v01("100", "0,1,2", "r")},
      {"a map of more segments than a member may have", v01("100", hugeMap, "")},
      {"a map without a real size", TarBuilder().pax({{"GNU.sparse.map", "0,1"}}).file("s", "x")},
      {"a length before its offset", TarBuilder().pax({{"GNU.sparse.size", "9"}, {"GNU.sparse.numbytes", "1"}}).file("s", "x")},
      {"an offset never given its length", TarBuilder().pax({{"GNU.sparse.size", "9"}, {"GNU.sparse.offset", "1"}}).file("s", "x")},
      {"a million segments announced in one block", v10("1000000\n", 512)},
      {"a map running past its member", v10("3\n0\n1\n2\n1\n", 512)},
      {"a map with a letter", v10("1\n0\nx\n", 1024)},
      {"a 1.0 map without a real size",
       TarBuilder().pax({{"GNU.sparse.major", "1"}, {"GNU.sparse.minor", "0"}}).file("s", std::string(512, '\n'))},
      {"an old map entry that is no number", TarBuilder().raw(badOldNumber)},
      {"an old map past the real size", TarBuilder().oldSparse("s", 10, {{0, 1}, {10, 1}}, "xy")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListResult listing = listBytes(TarBuilder(c.archive).file("after", "a").end().bytes());
    EXPECT_EQ(listing.result, 8);
    EXPECT_LE(listing.entries.size(), 1u) << "nothing of the sparse member or after it is listed";
  }
}

TEST_F(Sparse, AnOldMapCutOffEndsTheWalkAsTruncated) {
  TarBuilder::Segments map;
  for (int i = 0; i < 10; ++i) map.push_back({i * 10, 1});
  Bytes archive = TarBuilder().oldSparse("s", 100, map, std::string(10, 's')).bytes();
  archive.resize(512);  // the header only: its extension block is missing
  EXPECT_EQ(listBytes(archive).result, 8);
}
