#include "host/adler32.h"

namespace zax {

namespace {
constexpr std::int32_t kFirstModulus = 65531;
constexpr std::int32_t kSecondModulus = 32761;
}  // namespace

std::int32_t Adler32(const std::uint8_t* gData, std::size_t size) {
  std::int32_t s1 = 0;
  std::int32_t s2 = 0;
  for (std::size_t i = 0; i < size; ++i) {
    s1 += gData[i];
    s2 += s1;  // the first sum before its reduction
    // Greater than, not greater or equal: a sum may rest exactly on its modulus.
    if (s1 > kFirstModulus) s1 %= kFirstModulus;
    if (s2 > kSecondModulus) s2 %= kSecondModulus;
  }
  return SetHILOword(s1, s2);
}

std::int32_t Adler32(const std::vector<std::uint8_t>& gData) {
  return Adler32(gData.data(), gData.size());
}

std::int32_t SetHILOword(std::int32_t Loword, std::int32_t Hiword) {
  const std::uint32_t value = (static_cast<std::uint32_t>(Hiword) & 0xffffu) << 16 |
                              (static_cast<std::uint32_t>(Loword) & 0xffffu);
  return static_cast<std::int32_t>(value);
}

std::int32_t GetHiWord(std::int32_t dword) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(dword) >> 16) & 0xffffu);
}

std::int32_t GetLoWord(std::int32_t dword) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(dword) & 0xffffu);
}

}  // namespace zax
