// The deployment checksum and the 16-bit halves it is assembled from.
#include "host/adler32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes run(std::size_t count, std::uint8_t value) { return Bytes(count, value); }

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct ChecksumCase {
  const char* name;
  Bytes data;
  std::int32_t expected;
};

// Expected values worked out independently from the definition (first sum in the low half, second in
// the high half, each reduced only when it exceeds its modulus).
TEST(Adler32, KnownValues) {
  const Bytes nearSecondModulus = Bytes{136, 254} + run(14, 255);  // second sum exactly 32761
  const ChecksumCase cases[] = {
      {"empty", {}, 0},
      {"abc", {'a', 'b', 'c'}, 38404390},
      {"one 255", {255}, 16711935},
      {"first sum rests on 65531", run(256, 255) + Bytes{251}, 109707259},
      {"first sum passes 65531", run(256, 255) + Bytes{251, 1}, 110297089},
      {"second sum rests on 32761", nearSecondModulus, 2147028856},
      {"second sum passes 32761", nearSecondModulus + Bytes{0}, 259526520},
      {"a million 255s", run(1000000, 255), 790972863},
  };
  for (const ChecksumCase& c : cases) {
    EXPECT_EQ(zax::Adler32(c.data), c.expected) << c.name;
  }
}

TEST(Adler32, NeverNegativeAndHalvesStayInRange) {
  for (std::size_t count : {1u, 257u, 65536u, 3000000u}) {
    const std::int32_t sum = zax::Adler32(run(count, 255));
    EXPECT_GE(sum, 0) << count;
    EXPECT_LE(zax::GetHiWord(sum), 32761) << count;
    EXPECT_LE(zax::GetLoWord(sum), 65531) << count;
  }
}

TEST(HiLoWords, TakeTheLowSixteenBitsOfEachHalf) {
  struct Case {
    std::int32_t low, high, value;
  };
  const Case cases[] = {
      {0x1234, 0x5678, 0x56781234},
      {0, 0, 0},
      {0xFFFF, 0x7FFF, 0x7FFFFFFF},
      {0x12345678, 0x0ABCDEF0, static_cast<std::int32_t>(0xDEF05678u)},
      {-1, -1, -1},
      {0x10000, 0x10000, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.low << " " << c.high);
    const std::int32_t value = zax::SetHILOword(c.low, c.high);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(zax::GetLoWord(value), c.low & 0xFFFF);
    EXPECT_EQ(zax::GetHiWord(value), c.high & 0xFFFF);
    EXPECT_EQ(zax::SetHILOword(zax::GetLoWord(value), zax::GetHiWord(value)), value);
  }
}

TEST(HiLoWords, HalvesAreNeverNegative) {
  EXPECT_EQ(zax::GetHiWord(static_cast<std::int32_t>(0x80000000u)), 0x8000);
  EXPECT_EQ(zax::GetLoWord(-1), 65535);
  EXPECT_EQ(zax::GetHiWord(-1), 65535);
}

}  // namespace
