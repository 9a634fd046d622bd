// The checksum with which the engine host compares a deployed engine file with the image it
// carries. Built like Adler-32 but with its own constants (both sums start at 0, reduced
// modulo 65531 and 32761), so it is not the standard value; only agreement between the two
// sides matters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zax {

// The checksum of the bytes: the second sum in the high 16 bits, the first in the low 16.
// Never negative; 0 for no bytes.
std::int32_t Adler32(const std::uint8_t* gData, std::size_t size);
std::int32_t Adler32(const std::vector<std::uint8_t>& gData);

// A value whose low 16 bits are the low 16 bits of Loword and whose high 16 bits are the low
// 16 bits of Hiword.
std::int32_t SetHILOword(std::int32_t Loword, std::int32_t Hiword);

// The high or low 16 bits of dword, 0 to 65535.
std::int32_t GetHiWord(std::int32_t dword);
std::int32_t GetLoWord(std::int32_t dword);

}  // namespace zax
