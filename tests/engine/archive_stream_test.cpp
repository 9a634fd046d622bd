// The archive stream through each inflater the build has (zlib everywhere, ISA-L where it is
// installed): the same bytes and the same verdict for plain files, gzip members one after
// the other, and every way a compressed stream can be damaged or followed by other bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/tar/archive_stream.h"
#include "tests/support/test_support.h"

using zaxtest::Bytes;

namespace {

struct Outcome {
  Bytes data;
  bool damaged = false;  // a read answered -1
  bool closed = false;   // close() said the stream was sound
  std::int64_t position = 0;
  bool compressed = false;
};

Outcome readAll(const std::string& path, untgz::Inflater inflater) {
  Outcome outcome;
  const auto stream = untgz::openArchiveStream(path, inflater);
  EXPECT_NE(stream, nullptr);
  if (!stream) return outcome;
  outcome.compressed = stream->compressed();
  std::vector<unsigned char> chunk(70000);  // not a power of two: reads end anywhere
  for (;;) {
    const std::ptrdiff_t got = stream->read(chunk.data(), chunk.size());
    if (got < 0) {
      outcome.damaged = true;
      break;
    }
    if (got == 0) break;
    outcome.data.insert(outcome.data.end(), chunk.begin(), chunk.begin() + got);
  }
  outcome.position = stream->archivePosition();
  outcome.closed = stream->close();
  return outcome;
}

Bytes noise(std::size_t size) {
  Bytes bytes(size);
  std::uint32_t seed = 99;
  for (auto& b : bytes) b = static_cast<unsigned char>((seed = seed * 1103515245u + 12345u) >> 24);
  return bytes;
}

Bytes operator+(Bytes first, const Bytes& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

}  // namespace

TEST(ArchiveStream, EveryInflaterReadsEveryFormAlike) {
  const Bytes tar = zaxtest::TarBuilder().file("a", "alpha").file("big", std::string(300000, 'b')).end().bytes();
  const Bytes more = noise(200000);
  const Bytes gz = zaxtest::gzipCompress(tar);
  const Bytes stored = zaxtest::gzipCompress(more, 0);
  const auto changed = [](Bytes bytes, std::size_t fromEnd) {
    bytes[bytes.size() - fromEnd] ^= 0x40;
    return bytes;
  };
  const auto cut = [](Bytes bytes, std::size_t keep) {
    bytes.resize(keep);
    return bytes;
  };
  struct Case { const char* name; Bytes file; Bytes data; bool damaged; bool compressed; };
  const Case cases[] = {
      {"plain", tar, tar, false, false},
      {"empty file", {}, {}, false, false},
      {"one byte of the magic", {0x1f}, {0x1f}, false, false},
      {"gzip", gz, tar, false, true},
      {"two members read as one", gz + stored, tar + more, false, true},
      {"trailing garbage after the member", gz + Bytes{'j', 'u', 'n', 'k'}, tar, false, true},
      {"one trailing byte of the magic", gz + Bytes{0x1f}, tar, false, true},
      {"trailing bytes that start a member and stop", gz + Bytes{0x1f, 0x8b, 8, 0}, tar, true, true},
      {"cut inside the deflate data", cut(stored, stored.size() / 2), {}, true, true},
      {"cut inside the trailer", cut(gz, gz.size() - 3), {}, true, true},
      {"a wrong CRC", changed(stored, 8), {}, true, true},
      {"a wrong length", changed(stored, 2), {}, true, true},
      {"a damaged deflate block", changed(gz, gz.size() / 2), {}, true, true},
  };
  zaxtest::TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.nativeChild("archive.tar.gz");
    zaxtest::writeFile(path, c.file);
    const Outcome reference = readAll(path, untgz::Inflater::zlib);
    EXPECT_EQ(reference.damaged, c.damaged);
    EXPECT_EQ(reference.closed, !c.damaged);
    EXPECT_EQ(reference.compressed, c.compressed);
    if (!c.damaged) {
      EXPECT_TRUE(reference.data == c.data);
      EXPECT_EQ(reference.position, static_cast<std::int64_t>(c.file.size()));
    }
    if (!untgz::inflaterAvailable(untgz::Inflater::isal)) continue;
    const Outcome isal = readAll(path, untgz::Inflater::isal);
    EXPECT_EQ(isal.damaged, reference.damaged);
    EXPECT_EQ(isal.closed, reference.closed);
    EXPECT_EQ(isal.compressed, reference.compressed);
    if (!c.damaged) {
      EXPECT_EQ(isal.position, reference.position);
    }
    // Up to the damage, both hand out the same bytes (how far each gets before it differs).
    const std::size_t common = std::min(isal.data.size(), reference.data.size());
    EXPECT_TRUE(std::equal(isal.data.begin(), isal.data.begin() + static_cast<std::ptrdiff_t>(common),
                           reference.data.begin()));
    if (!c.damaged) {
      EXPECT_TRUE(isal.data == reference.data);
    }
  }
}

TEST(ArchiveStream, ConformanceArchivesReadAlikeCompressedOrNot) {
  if (!untgz::inflaterAvailable(untgz::Inflater::isal)) GTEST_SKIP() << "only zlib in this build";
  zaxtest::TempFolder folder;
  for (const auto& entry : std::filesystem::directory_iterator(ZAX_CONFORMANCE_DIR)) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::string path = folder.nativeChild("copy.gz");
    std::string raw;
    ASSERT_TRUE(zaxtest::readFile(entry.path().string(), raw));
    const Bytes bytes(raw.begin(), raw.end());
    for (const Bytes& file : {bytes, zaxtest::gzipCompress(bytes)}) {
      zaxtest::writeFile(path, file);
      const Outcome zlib = readAll(path, untgz::Inflater::zlib);
      const Outcome isal = readAll(path, untgz::Inflater::isal);
      EXPECT_TRUE(zlib.data == isal.data);
      EXPECT_EQ(zlib.damaged, isal.damaged);
      EXPECT_EQ(zlib.closed, isal.closed);
      EXPECT_EQ(zlib.position, isal.position);
    }
  }
}
