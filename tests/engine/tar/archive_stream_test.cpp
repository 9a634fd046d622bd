// The archive stream through each decoder the build has (for gzip zlib everywhere, ISA-L
// where the build has it; bzip2, xz, lzma, lzip and zstd): the same bytes and the same
// verdict for plain files, streams one after the other, and every way a compressed stream
// can be damaged, cut off or followed by other bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/tar/archive_format.h"
#include "engine/tar/archive_open.h"
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

namespace {

// The samples that tests/support/make_compressed_samples.py wrote with each format's own
// tool while building.
Bytes sample(const std::string& name) {
  std::string raw;
  EXPECT_TRUE(zaxtest::readFile(std::string(ZAX_COMPRESSED_SAMPLES_DIR) + "/" + name, raw)) << name;
  return Bytes(raw.begin(), raw.end());
}

std::vector<std::string> compressedForms() {
  std::string list;
  EXPECT_TRUE(zaxtest::readFile(std::string(ZAX_COMPRESSED_SAMPLES_DIR) + "/forms.txt", list));
  std::vector<std::string> forms;
  for (std::size_t at = 0, end; (end = list.find('\n', at)) != std::string::npos; at = end + 1)
    forms.push_back(list.substr(at, end - at));
  return forms;
}

Outcome readBytes(const Bytes& file, untgz::Inflater inflater = untgz::defaultInflater()) {
  zaxtest::TempFolder folder;
  const std::string path = folder.nativeChild("archive");
  zaxtest::writeFile(path, file);
  return readAll(path, inflater);
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

// Every form, as each tool writes it, whole, spoiled, cut or followed by more, through every
// decoder the build has.
TEST(ArchiveStream, EveryCompressionReadsAndFailsAlike) {
  const Bytes tar = sample("sample.tar");
  ASSERT_FALSE(tar.empty());
  const std::vector<std::string> forms = compressedForms();
  ASSERT_GE(forms.size(), 10u);
  for (const std::string& form : forms) {
    SCOPED_TRACE(form);
    const Bytes file = sample(form);
    ASSERT_FALSE(file.empty());
    // Legacy lzma has no check, and a zstd frame written without one has none either: a
    // changed byte there may decode to other bytes unnoticed.
    const bool checked = !endsWith(form, ".lzma") && form.find("nocheck") == std::string::npos;
    const bool concatenates = !endsWith(form, ".lzma");
    Bytes spoiled = file, cut = file;
    spoiled[spoiled.size() / 2] ^= 0x55;
    cut.resize(cut.size() - cut.size() / 3);
    Bytes lastByteCut = file;
    lastByteCut.pop_back();
    // The gzip forms go through each inflater; the others have one decoder each.
    std::vector<untgz::Inflater> inflaters = {untgz::defaultInflater()};
    if (endsWith(form, ".gz") && untgz::inflaterAvailable(untgz::Inflater::isal))
      inflaters = {untgz::Inflater::zlib, untgz::Inflater::isal};
    struct Case { const char* name; Bytes file; bool damaged; Bytes data; bool run; };
    const Case cases[] = {
        {"whole", file, false, tar, true},
        {"followed by bytes of no stream", file + Bytes{'j', 'u', 'n', 'k', 0, 0, 0, 1}, false, tar, true},
        {"twice", file + file, false, concatenates ? tar + tar : tar, true},
        {"a changed byte", spoiled, true, {}, checked},
        {"cut to two thirds", cut, true, {}, true},
        {"its last byte cut", lastByteCut, true, {}, true},
    };
    for (const Case& c : cases) {
      if (!c.run) continue;
      SCOPED_TRACE(c.name);
      for (const untgz::Inflater inflater : inflaters) {
        const Outcome outcome = readBytes(c.file, inflater);
        EXPECT_TRUE(outcome.compressed);
        EXPECT_EQ(outcome.damaged, c.damaged);
        EXPECT_EQ(outcome.closed, !c.damaged);
        if (c.damaged) continue;
        EXPECT_TRUE(outcome.data == c.data) << outcome.data.size() << " bytes, not " << c.data.size();
        // Trailing bytes are passed over unread, beyond what the input buffer holds.
        if (&c == &cases[0] || (concatenates && &c == &cases[2])) {
          EXPECT_EQ(outcome.position, static_cast<std::int64_t>(c.file.size()));
        }
        EXPECT_LE(outcome.position, static_cast<std::int64_t>(c.file.size()));
      }
    }
  }
}

// What lies between streams: zstd's skippable frames and xz's stream padding are passed over;
// a second stream of another format is trailing bytes.
TEST(ArchiveStream, WhatLiesBetweenStreams) {
  const Bytes tar = sample("sample.tar");
  const Bytes zst = sample("sample.tar.zst"), xz = sample("sample.tar.xz"), bz2 = sample("sample.tar.bz2");
  const Bytes skippable = {0x5e, 0x2a, 0x4d, 0x18, 3, 0, 0, 0, 'a', 'b', 'c'};
  struct Case { const char* name; Bytes file; Bytes data; };
  const Case cases[] = {
      {"zstd skippable frames before, between and after", skippable + zst + skippable + zst + skippable,
       tar + tar},
      {"xz stream padding between and after", xz + Bytes(8, 0) + xz + Bytes(4, 0), tar + tar},
      {"bzip2 then xz", bz2 + xz, tar},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = readBytes(c.file);
    EXPECT_FALSE(outcome.damaged);
    EXPECT_TRUE(outcome.closed);
    EXPECT_TRUE(outcome.data == c.data);
  }
}

TEST(ArchiveStream, StreamsNeedingMoreMemoryThanTheLimitAreRefused) {
  for (const char* name : {"hungry.xz", "hungry.lzma", "hungry.zst"}) {
    SCOPED_TRACE(name);
    zaxtest::TempFolder folder;
    const std::string path = folder.nativeChild("archive");
    zaxtest::writeFile(path, sample(name));
    const auto stream = untgz::openArchiveStream(path);
    ASSERT_NE(stream, nullptr);
    unsigned char buffer[4096];
    EXPECT_EQ(stream->read(buffer, sizeof buffer), -1);
    const untgz::StreamRefusal refusal = stream->refusal();
    EXPECT_EQ(refusal.kind, untgz::StreamRefusal::Kind::memory);
    // 1536 MiB of dictionary (and a little more for the decoder), or 2 GiB of window.
    EXPECT_TRUE(refusal.what.rfind("153", 0) == 0 || refusal.what.rfind("2048 MiB", 0) == 0) << refusal.what;
    EXPECT_TRUE(endsWith(refusal.what, " MiB needed, the limit is 128 MiB") ) << refusal.what;
    EXPECT_FALSE(stream->close());
  }
}

TEST(ArchiveStream, OtherKindsOfFileAreRefusedByName) {
  struct Case { Bytes head; const char* what; };
  const Case cases[] = {
      {{'P', 'K', 3, 4, 20, 0, 0, 0}, "a zip archive"},
      {{'P', 'K', 5, 6, 0, 0, 0, 0}, "a zip archive"},
      {{'7', 'z', 0xbc, 0xaf, 0x27, 0x1c, 0, 4}, "a 7z archive"},
      {{'R', 'a', 'r', '!', 0x1a, 7, 1, 0}, "a rar archive"},
      {{0x04, 0x22, 0x4d, 0x18, 0x64, 0x40, 0xa7}, "lz4 compressed data"},
      {{0x1f, 0x9d, 0x90, 'a'}, "compress (.Z) data"},
      {{'!', '<', 'a', 'r', 'c', 'h', '>', '\n'}, "an ar archive (such as a .deb package)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    zaxtest::TempFolder folder;
    const std::string path = folder.nativeChild("archive.tar");
    zaxtest::writeFile(path, c.head + noise(1000));
    const auto stream = untgz::openArchiveStream(path);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->refusal().kind, untgz::StreamRefusal::Kind::otherKind);
    EXPECT_EQ(stream->refusal().what, c.what);
    unsigned char buffer[16];
    EXPECT_EQ(stream->read(buffer, sizeof buffer), -1);
  }
}

// The format comes from the first bytes; a tar whose first header holds is a tar even when
// its first name looks like another format's signature.
TEST(ArchiveFormat, FirstBytesTellTheFormat) {
  using untgz::ArchiveFormat;
  const auto tarNamed = [](const std::string& name) {
    return zaxtest::TarBuilder().file(name, "x").end().bytes();
  };
  struct Case { const char* name; Bytes head; ArchiveFormat format; };
  const Case cases[] = {
      {"empty", {}, ArchiveFormat::plain},
      {"gzip", {0x1f, 0x8b, 8, 0}, ArchiveFormat::gzip},
      {"bzip2", Bytes{'B', 'Z', 'h', '9', 0x31, 0x41, 0x59, 0x26, 0x53, 0x59}, ArchiveFormat::bzip2},
      {"bzip2 of nothing", Bytes{'B', 'Z', 'h', '9', 0x17, 0x72, 0x45, 0x38, 0x50, 0x90, 0, 0, 0, 0}, ArchiveFormat::bzip2},
      {"BZh and no block", Bytes{'B', 'Z', 'h', '9', 'x', 'x', 'x', 'x', 'x', 'x'}, ArchiveFormat::plain},
      {"xz", {0xfd, '7', 'z', 'X', 'Z', 0}, ArchiveFormat::xz},
      {"lzip", {'L', 'Z', 'I', 'P', 1}, ArchiveFormat::lzip},
      {"zstd", {0x28, 0xb5, 0x2f, 0xfd}, ArchiveFormat::zstd},
      {"zstd behind a skippable frame", {0x50, 0x2a, 0x4d, 0x18}, ArchiveFormat::zstd},
      {"lzma, size unknown", {0x5d, 0, 0, 0x80, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0}, ArchiveFormat::lzma},
      {"lzma, 3 MiB dictionary, size known", {0x5d, 0, 0, 0x30, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0}, ArchiveFormat::lzma},
      {"lzma-like, no dictionary", {'s', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, ArchiveFormat::plain},
      {"lzma-like, odd dictionary", {0x5d, 1, 0, 0x80, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0}, ArchiveFormat::plain},
      {"zip", {'P', 'K', 3, 4}, ArchiveFormat::other},
      {"a tar whose first name is a bzip2 signature", tarNamed("BZh91AY&SY"), ArchiveFormat::plain},
      {"a tar whose first name is a zip signature", tarNamed("PK\x03\x04"), ArchiveFormat::plain},
      {"a tar", tarNamed("a"), ArchiveFormat::plain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(untgz::sniffArchive(c.head.data(), c.head.size()).format, c.format);
  }
}
