#include "tests/control/com/com_fixture.h"

#include "engine/tar/inflaters.h"

#include <zlib.h>

#include <vector>

namespace comtest {

std::wstring widen(const std::string& text) {
  std::wstring out;
  for (unsigned char c : text) out += static_cast<wchar_t>(c);
  return out;
}

void writeLargeArchive(const std::string& path, long long size) {
  zaxtest::TarBuilder::Entry entry;
  entry.name = "large.bin";
  entry.sizeField = size;
  const zaxtest::Bytes header = zaxtest::TarBuilder::header(entry);
  untgz::UniqueGzipFile file(gzopen(path.c_str(), "wb1"));
  ASSERT_TRUE(file);
  const gzFile out = file.get();
  gzwrite(out, header.data(), static_cast<unsigned>(header.size()));
  const std::vector<char> zeros(1 << 20, 0);
  for (long long left = size + 1024; left > 0; left -= static_cast<long long>(zeros.size())) {
    const auto chunk = static_cast<unsigned>(std::min<long long>(left, zeros.size()));
    ASSERT_EQ(gzwrite(out, zeros.data(), chunk), static_cast<int>(chunk));
  }
  ASSERT_TRUE(file.close());
}

}  // namespace comtest
