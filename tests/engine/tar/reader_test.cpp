// Reading tar streams: numeric fields, checksums, header kinds, and how a walk ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "tests/support/engine_client.h"
#include "engine/tar/header.h"
#include "engine/tar/numbers.h"
#include "engine/tar/archive_open.h"
#include "engine/tar/tar_reader.h"

using namespace enginetest;
using zaxtest::Bytes;
using zaxtest::TarBuilder;

namespace {

// Header field offsets, spelled out here rather than taken from the reader.
constexpr std::size_t kSizeOffset = 124, kMtimeOffset = 136, kChecksumOffset = 148;

// A header with one field's bytes replaced, and a checksum that matches them.
Bytes withField(TarBuilder::Entry entry, std::size_t offset, const std::string& field) {
  Bytes header = TarBuilder::header(entry);
  std::memcpy(&header[offset], field.data(), field.size());
  TarBuilder::seal(header);
  return header;
}

// Bytes that do not compress.
std::string noise(std::size_t size, std::uint32_t seed = 12345) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 24);
  return bytes;
}

Bytes joined(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Flips one byte of `data` in a stream that holds it in stored blocks (level 0): inflate
// cannot see the change, only the CRC at the end of the stream can.
void flipStoredByte(Bytes& compressed, const std::string& data) {
  // A sample that does not straddle the header of a stored block.
  for (std::size_t offset = data.size() / 2; offset + 32 <= data.size(); offset += 100) {
    const Bytes sample(data.begin() + static_cast<std::ptrdiff_t>(offset),
                       data.begin() + static_cast<std::ptrdiff_t>(offset + 32));
    const auto at = std::search(compressed.begin(), compressed.end(), sample.begin(), sample.end());
    if (at != compressed.end()) {
      *at ^= 0x01;
      return;
    }
  }
  FAIL() << "the data was not stored verbatim";
}

class Walk : public EngineTest {};

}  // namespace

TEST(ReadOctal, FieldForms) {
  struct Case { std::string field; bool readable; std::int64_t value; };
  const Case cases[] = {
      {"00000001750 ", true, 1000},
      {"    1750  \0 ", true, 1000},
      {std::string("    1750\0xyz", 12), true, 1000},  // a NUL ends the text, as in names
      {std::string("\0" "0000001750", 11), true, 0},
      {"777777777777", true, 68719476735},  // 12 digits: beyond 32 bits
      {std::string(12, ' '), true, 0},
      {std::string(12, '\0'), true, 0},
      {std::string(" \0  ", 5), true, 0},
      {"0000000000z", false, 0},  // not a digit at all
      {"0000000008 ", false, 0},  // not an octal digit
      {"12 34      ", false, 0},  // digits after the blank that ended the number
      {"+1750      ", false, 0},
      {"\t1750      ", false, 0},
      {std::string(22, '7'), false, 0},  // beyond 64 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.field));
    std::int64_t value = -1;
    EXPECT_EQ(untgz::readOctal(reinterpret_cast<const unsigned char*>(c.field.data()), c.field.size(), value),
              c.readable);
    if (c.readable) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST(ReadNumber, Base256) {
  std::int64_t value = 0;
  const unsigned char positive[12] = {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00};
  ASSERT_TRUE(untgz::readNumber(positive, 12, value));
  EXPECT_EQ(value, 256);
  const unsigned char negative[12] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xfe};
  ASSERT_TRUE(untgz::readNumber(negative, 12, value));
  EXPECT_EQ(value, -2);
  const unsigned char tooBig[12] = {0x80, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(untgz::readNumber(tooBig, 12, value));
}

TEST(Checksum, UnsignedAndSignedSumsAreAccepted) {
  TarBuilder::Entry entry;
  entry.name = "caf\xc3\xa9";  // bytes above 127 make the two sums differ
  Bytes header = TarBuilder::header(entry);
  EXPECT_TRUE(untgz::checksumMatches(header.data()));
  int signedSum = 0;
  std::memset(&header[kChecksumOffset], ' ', 8);
  for (unsigned char c : header) signedSum += static_cast<signed char>(c);
  std::snprintf(reinterpret_cast<char*>(&header[kChecksumOffset]), 8, "%06o", signedSum);
  EXPECT_TRUE(untgz::checksumMatches(header.data()));
  header[0] = 'X';
  EXPECT_FALSE(untgz::checksumMatches(header.data()));
}

TEST(Checksum, FieldIsOctalTextLikeTheNumbers) {
  Bytes header = TarBuilder::header({"f", '0', "x"});
  std::memset(&header[kChecksumOffset], ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : header) sum += c;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06o", sum);
  const std::string six = digits;
  struct Case { std::string field; bool matches; };
  const Case cases[] = {
      {six + std::string("\0 ", 2), true},  // what GNU tar writes
      {six + "  ", true},
      {" " + six + " ", true},
      {"00" + six, true},  // eight digits, nothing after them
      {six + std::string("\0z", 2), true},  // a NUL ends the text
      {six + "z ", false},
      {six.substr(0, 3) + " " + six.substr(3) + " ", false},
      {std::string(8, ' '), false},
      {std::string(8, '\0'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.field));
    ASSERT_EQ(c.field.size(), 8u);
    std::memcpy(&header[kChecksumOffset], c.field.data(), 8);
    EXPECT_EQ(untgz::checksumMatches(header.data()), c.matches);
  }
}

TEST_F(Walk, SameContentPlainAndCompressedWhateverTheName) {
  const Bytes tar = TarBuilder().directory("a/").file("a/x.txt", "0123456789").file("a/y", "").end().bytes();
  const std::vector<std::string> expected{"a/", "a/x.txt", "a/y"};
  struct Case { const char* fileName; bool compress; };
  for (const Case& c : {Case{"a.tar", false}, Case{"a.tgz", true}, Case{"a.tar.gz", true},
                        Case{"gzip-named.tar", true}, Case{"plain-named.tgz", false}}) {
    SCOPED_TRACE(c.fileName);
    const ListResult listing = listBytes(c.compress ? zaxtest::gzipCompress(tar) : tar, c.fileName);
    EXPECT_EQ(listing.result, 0);
    EXPECT_EQ(listing.names(), expected);
  }
}

TEST_F(Walk, WhereTheArchiveEndsDecidesTheResult) {
  const Bytes member = TarBuilder().file("x", "data").bytes();
  const auto then = [&member](const Bytes& rest) {
    Bytes joined = member;
    joined.insert(joined.end(), rest.begin(), rest.end());
    return joined;
  };
  Bytes cutInsideBlock = TarBuilder().file("x", std::string(2000, 'd')).end().bytes();
  cutInsideBlock.resize(1000);
  Bytes cutBetweenDataBlocks = TarBuilder().file("x", std::string(2000, 'd')).end().bytes();
  cutBetweenDataBlocks.resize(512 + 1024);
  Bytes notTar(4096, 0);
  std::memcpy(notTar.data(), "just some text, not a header", 28);
  // Media files and disk images often start with a NUL: still not an empty archive.
  Bytes nulFirst(4096, 0);
  std::memcpy(nulFirst.data() + 4, "ftypisom\0\0\2\0isomiso2mp41", 24);
  Bytes zeroedFirstByte = TarBuilder::header({"y", '0', "", 0, 0});
  zeroedFirstByte[0] = 0;  // the checksum still counts the 'y'
  const Bytes after = TarBuilder().file("z", "").end().bytes();
  Bytes zeroedThenMore = then(zeroedFirstByte);
  zeroedThenMore.insert(zeroedThenMore.end(), after.begin(), after.end());
  TarBuilder::Entry unnamed{"", '0', "abc"};

  struct Case { const char* name; Bytes archive; std::int32_t result; std::vector<std::string> names; };
  const Case cases[] = {
      {"right after a member's data", member, 0, {"x"}},
      {"right after a member without data",
       then(TarBuilder().directory("d/").add({"link", '1'}).bytes()), 0, {"x", "d/"}},
      {"one zero block", then(Bytes(512, 0)), 0, {"x"}},
      {"one zero block, then anything", then(TarBuilder().raw(Bytes(512, 0)).file("ignored", "").raw(Bytes(100, 'g')).bytes()), 0, {"x"}},
      {"a good header with an empty name", then(TarBuilder().add(unnamed).file("z", "").end().bytes()), 0, {"x", "", "z"}},
      {"cut inside a block", cutInsideBlock, 8, {"x"}},
      {"cut between blocks of a member's data", cutBetweenDataBlocks, 8, {"x"}},
      {"cut after a long name", then(TarBuilder().add({"././@LongLink", 'L', std::string(300, 'n')}).bytes()), 8, {"x"}},
      {"cut after pax records", then(TarBuilder().pax({{"path", "p"}}).bytes()), 8, {"x"}},
      {"empty file", Bytes(), 8, {}},
      {"text", notTar, 8, {}},
      {"a block that starts with a NUL", nulFirst, 8, {}},
      {"a header whose first byte was zeroed", zeroedThenMore, 8, {"x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListResult listing = listBytes(c.archive);
    EXPECT_EQ(listing.result, c.result);
    EXPECT_EQ(listing.names(), c.names);
  }
}

TEST_F(Walk, DamageInTheCompressedStreamIsReported) {
  // Data that does not compress, so that damage late in the file is late in the stream.
  const Bytes compressed =
      zaxtest::gzipCompress(TarBuilder().file("x", "data").file("noise", noise(2 << 20)).end().bytes());
  Bytes damaged = compressed;
  for (std::size_t i = damaged.size() * 9 / 10; i < damaged.size() * 9 / 10 + 64; ++i) damaged[i] ^= 0x5a;
  Bytes truncatedGzip = compressed;
  truncatedGzip.resize(truncatedGzip.size() * 9 / 10);

  struct Case { const char* name; Bytes archive; std::int32_t result; std::size_t entries; };
  const Case cases[] = {
      {"damaged compressed data", damaged, 3, 2},
      {"cut-off compressed data", truncatedGzip, 3, 2},
      {"compressed nothing", zaxtest::gzipCompress(Bytes()), 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListResult listing = listBytes(c.archive);
    EXPECT_EQ(listing.result, c.result);
    EXPECT_EQ(listing.entries.size(), c.entries);
  }
}

// Writers pad the archive to whole records (GNU tar -b 2048: 1 MiB), so the end marker can
// come long before the end of the compressed stream; the stream is still checked to its end.
TEST_F(Walk, CompressedStreamIsCheckedToItsEndPastTheEndMarker) {
  const std::string data = noise(64 * 1024);
  const Bytes archive = TarBuilder().file("data", data).end().raw(Bytes(1 << 20, 0)).bytes();
  const Bytes intact = zaxtest::gzipCompress(archive, 0);
  Bytes flippedInData = intact;
  flipStoredByte(flippedInData, data);
  // The padding itself may hold anything; here bytes that are stored, then damaged.
  const std::string padding = noise(1 << 20, 99);
  Bytes flippedInPadding = zaxtest::gzipCompress(
      TarBuilder().file("data", data).end().raw(Bytes(padding.begin(), padding.end())).bytes(), 0);
  flipStoredByte(flippedInPadding, padding);
  const Bytes head(archive.begin(), archive.begin() + 512 + data.size() + 1024);
  const Bytes tail(archive.begin() + head.size(), archive.end());
  Bytes damagedSecondMember = zaxtest::gzipCompress(tail);
  damagedSecondMember[damagedSecondMember.size() - 6] ^= 0x01;  // its CRC

  struct Case { const char* name; Bytes archive; std::int32_t result; };
  const Case cases[] = {
      {"intact", intact, 0},
      {"a flipped byte in the member's data", flippedInData, 3},
      {"a flipped byte in the padding", flippedInPadding, 3},
      {"the padding in a second gzip member", joined(zaxtest::gzipCompress(head), zaxtest::gzipCompress(tail)), 0},
      {"a damaged second gzip member", joined(zaxtest::gzipCompress(head), damagedSecondMember), 3},
      // The gzip layer ignores what follows the last gzip member; so does the walk.
      {"bytes after the gzip stream", joined(intact, Bytes(3000, 'j')), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListResult listing = listBytes(c.archive, "a.tar.gz");
    EXPECT_EQ(listing.result, c.result);
    EXPECT_EQ(listing.names(), (std::vector<std::string>{"data"}));
  }
}

TEST_F(Walk, ReadingPastTheEndMarkerMovesTheProgressAndStopsWhenAsked) {
  // The end marker in the first few KiB of a stream of 4 MiB.
  const std::string padding = noise(4 << 20);
  const Bytes intact = zaxtest::gzipCompress(
      TarBuilder().file("x", "data").end().raw(Bytes(padding.begin(), padding.end())).bytes(), 0);
  Bytes damaged = intact;
  flipStoredByte(damaged, padding);
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("intact.tar.gz"), intact);
  zaxtest::writeFile(folder.nativeChild("damaged.tar.gz"), damaged);

  // Says no to every block once the member has ended, as a cancelled extraction does.
  class Visitor : public untgz::WalkVisitor {
   public:
    explicit Visitor(bool stopAfterMember) : stopAfterMember_(stopAfterMember) {}
    bool beforeBlock() override { return !(stopAfterMember_ && memberEnded_); }
    void onFileEnd(bool) override { memberEnded_ = true; }

   private:
    bool stopAfterMember_;
    bool memberEnded_ = false;
  };
  const auto size = static_cast<std::int64_t>(intact.size());
  struct Case { const char* name; const char* file; bool stop; untgz::WalkEnd end; std::int32_t result; };
  const Case cases[] = {
      {"intact", "intact.tar.gz", false, untgz::WalkEnd::endOfArchive, 0},
      {"damaged", "damaged.tar.gz", false, untgz::WalkEnd::readError, 3},
      {"damaged, stopped after the member", "damaged.tar.gz", true, untgz::WalkEnd::stopped, 0},
  };
  for (const Case& c : cases) {
   for (const untgz::Inflater inflater : {untgz::Inflater::zlib, untgz::Inflater::isal}) {
    if (!untgz::inflaterAvailable(inflater)) continue;
    SCOPED_TRACE(std::string(c.name) + (inflater == untgz::Inflater::isal ? " (ISA-L)" : " (zlib)"));
    const auto stream = untgz::openArchiveStream(folder.nativeChild(c.file), inflater);
    ASSERT_NE(stream, nullptr);
    std::atomic<std::uint64_t> consumed{0};
    std::atomic<std::int64_t> position{0};
    untgz::WalkProgress progress{consumed, position};
    Visitor visitor(c.stop);
    const untgz::WalkEnd end = untgz::walkArchive(*stream, visitor, progress);
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(untgz::finishWalk(*stream, end), c.result);
    if (c.end == untgz::WalkEnd::endOfArchive) {
      EXPECT_EQ(position.load(), size) << "the position reaches the end of the file";
    } else if (c.stop) {
      EXPECT_LT(position.load(), size / 2) << "the progress is the walk's, not the read-ahead's";
    }
   }
  }
}

TEST_F(Walk, NamesFromEveryKindOfHeader) {
  TarBuilder::Entry exact100;
  exact100.name = std::string(99, 'a') + "b";
  TarBuilder::Entry prefixed;
  prefixed.name = "file.txt";
  prefixed.prefix = "some/deep/folder";
  TarBuilder::Entry v7Directory;
  v7Directory.name = "old/";
  v7Directory.typeflag = '\0';
  TarBuilder::Entry contiguous;
  contiguous.name = "seven";
  contiguous.typeflag = '7';
  contiguous.data = "777";
  const std::string longName = std::string(600, 'L') + "/end";

  const ListResult listing = listBytes(TarBuilder()
                                        .add(exact100)
                                        .add(prefixed)
                                        .add(v7Directory)
                                        .add(contiguous)
                                        .gnuLongName(longName, {"cut", '0', "x"})
                                        .pax({{"path", "pax/path/name"}, {"size", "3"}, {"mtime", "1.5"}})
                                        .add({"ignored", '0', "abc", 1086091200, 700})
                                        .pax({{"comment", "archive-wide"}}, 'g')
                                        .file("after-global", "")
                                        .pax({{"path", "solaris/name"}, {"size", "2"}}, 'X')
                                        .add({"ignored-too", '0', "ab"})
                                        .end()
                                        .bytes());
  EXPECT_EQ(listing.result, 0);
  EXPECT_EQ(listing.names(),
            (std::vector<std::string>{exact100.name, "some/deep/folder/file.txt", "old/", "seven",
                                      longName.substr(0, 255), "pax/path/name", "after-global",
                                      "solaris/name"}));
  ASSERT_EQ(listing.entries.size(), 8u);
  EXPECT_EQ(listing.entries[2].isDir, 1);
  EXPECT_EQ(listing.entries[3].size, 3);
  EXPECT_EQ(listing.entries[5].size, 3) << "the pax size wins over the header's";
}

// The walk keeps its header and member from one to the next: a long name or link target
// handed to one member must not show through in the next, nor a short one in a long one.
TEST_F(Walk, EachMemberGetsItsOwnNameAndLinkTarget) {
  const std::string longName = std::string(300, 'n') + "/long", longTarget = std::string(400, 't');
  TarBuilder::Entry hardLink{"hard", '1', ""};
  hardLink.linkname = "short-target";
  TarBuilder::Entry symbolicLink{"sym", '2', ""};
  symbolicLink.linkname = "s";
  const Bytes archive = TarBuilder()
                            .pax({{"path", longName}, {"linkpath", longTarget}})
                            .add(hardLink)
                            .add(symbolicLink)
                            .file("plain", "x")
                            .gnuLongName(longName + "2", {"cut", '0', "y"})
                            .add(hardLink)
                            .end()
                            .bytes();
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("links.tar"), archive);

  class Recorder : public untgz::WalkVisitor {
   public:
    std::vector<std::pair<std::string, std::string>> seen;
    void onFileBegin(const untgz::Member& member) override { seen.emplace_back(member.name, member.linkName); }
    void onLink(const untgz::Member& member) override { seen.emplace_back(member.name, member.linkName); }
  } recorder;
  const auto stream = untgz::openArchiveStream(folder.nativeChild("links.tar"), untgz::Inflater::zlib);
  ASSERT_NE(stream, nullptr);
  std::atomic<std::uint64_t> consumed{0};
  std::atomic<std::int64_t> position{0};
  untgz::WalkProgress progress{consumed, position};
  EXPECT_EQ(untgz::walkArchive(*stream, recorder, progress), untgz::WalkEnd::endOfArchive);
  using Seen = std::pair<std::string, std::string>;
  EXPECT_EQ(recorder.seen, (std::vector<Seen>{{longName, longTarget},
                                              {"sym", "s"},
                                              {"plain", ""},
                                              {longName + "2", ""},
                                              {"hard", "short-target"}}));
}

TEST_F(Walk, DataOfEntriesThatAreNotListedIsPassedOver) {
  // A link whose size field claims data it does not carry, then types that do carry data.
  TarBuilder::Entry link{"link", '2', "", 0, 1024};
  link.linkname = "target";
  const ListResult listing = listBytes(TarBuilder()
                                        .add(link)
                                        .add({"dump", 'D', std::string(700, 'D')})
                                        .add({"longlink", 'K', std::string(600, 'k')})
                                        .add({"volume", 'V', ""})
                                        .file("last", "z")
                                        .end()
                                        .bytes());
  EXPECT_EQ(listing.result, 0);
  EXPECT_EQ(listing.names(), (std::vector<std::string>{"last"}));
}

TEST_F(Walk, TypeflagsNotKnownAsSomethingElseAreRegularFiles) {
  // Data of two blocks, so that reading it as headers or skipping it wrongly shows.
  const std::string data(700, 'm');
  struct Case { char typeflag; bool file; };
  const Case cases[] = {
      {'0', true},  {'\0', true}, {'7', true},  {'8', true},  {'9', true},
      {'a', true},  {'y', true},  {'z', true},  {'!', true},  {' ', true},
      {'\x01', true}, {'\xe9', true}, {'A', true}, {'E', true}, {'I', true}, {'Q', true}, {'Z', true},
      // Extensions that GNU tar and bsdtar read as something else: passed over by their size.
      {'D', false}, {'M', false}, {'N', false}, {'V', false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.typeflag));
    const ListResult listing = listBytes(TarBuilder().add({"m", c.typeflag, data}).file("after", "z").end().bytes());
    EXPECT_EQ(listing.result, 0);
    EXPECT_EQ(listing.names(), c.file ? (std::vector<std::string>{"m", "after"}) : (std::vector<std::string>{"after"}));
    if (c.file && !listing.entries.empty()) {
      EXPECT_EQ(listing.entries[0].isDir, 0);
      EXPECT_EQ(listing.entries[0].size, 700);
    }
  }
}

TEST_F(Walk, OutOfRangeHeadersEndTheWalkAsNotReadable) {
  const std::string negative("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xfe", 12);
  const std::string huge("\x80\0\0\0\0\0\0\0\x40\0\0\0", 12);  // 1 GiB of long name
  // A member whose size field is unreadable; the bytes around a lax reading are valid.
  const auto badSize = [](const std::string& field) {
    return TarBuilder().raw(withField({"m", '0'}, kSizeOffset, field)).raw(Bytes(512, 'd')).file("after", "").end().bytes();
  };
  struct Case { const char* name; Bytes archive; };
  const Case cases[] = {
      {"negative size", TarBuilder().raw(withField({"neg", '0'}, kSizeOffset, negative)).end().bytes()},
      {"oversized long name", TarBuilder().raw(withField({"././@LongLink", 'L'}, kSizeOffset, huge)).end().bytes()},
      {"size with a letter", badSize(std::string("0000000000z\0", 12))},
      {"size with digits after its blank", badSize(std::string("1 000      \0", 12))},
      {"mtime with a letter", TarBuilder().raw(withField({"m", '0'}, kMtimeOffset, std::string("1234567x123\0", 12))).end().bytes()},
      {"record not ending where the next starts",
       TarBuilder().add({"p", 'x', "9 path=ab" + zaxtest::paxRecord("size", "0")}).file("f", "").end().bytes()},
      {"record length past the end", TarBuilder().add({"p", 'x', "99 path=a\n"}).file("f", "").end().bytes()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ListResult listing = listBytes(c.archive);
    EXPECT_EQ(listing.result, 8);
    EXPECT_TRUE(listing.entries.empty());
  }
}

TEST_F(Walk, SizesBeyondThirtyTwoBitsAreCarriedAndSaturated) {
  // A 3 GiB member announced in octal, cut off after its header.
  TarBuilder::Entry big{"big", '0', "", 0, 3LL << 30};
  const ListResult listing = listBytes(TarBuilder().raw(TarBuilder::header(big)).bytes());
  EXPECT_EQ(listing.result, 8);
  ASSERT_EQ(listing.entries.size(), 1u);
  EXPECT_EQ(listing.entries[0].size, 2147483647);
}

TEST_F(Walk, ConcatenatedGzipMembersReadAsOneStream) {
  const Bytes tar = TarBuilder().file("first", "1").file("second", "22").end().bytes();
  const std::size_t cut = 1024;  // the first member's header and data block
  Bytes joined = zaxtest::gzipCompress(Bytes(tar.begin(), tar.begin() + cut));
  const Bytes rest = zaxtest::gzipCompress(Bytes(tar.begin() + cut, tar.end()));
  joined.insert(joined.end(), rest.begin(), rest.end());
  const ListResult listing = listBytes(joined, "joined.tar.gz");
  EXPECT_EQ(listing.result, 0);
  EXPECT_EQ(listing.names(), (std::vector<std::string>{"first", "second"}));
}
