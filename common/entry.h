// The engine library's one exported entry, as the library defines it and as hosts and
// stand-in engines declare it. Its shape depends on the build:
//   - 32-bit Windows: a window procedure, so that a host can run it through
//     CallWindowProcA; every value is 32 bits.
//   - 64-bit Windows: the same slots, but operand 1 is as wide as a pointer and the host
//     calls the entry directly. A window procedure's message slot is a 32-bit UINT on
//     64-bit Windows too, so passing an address through it would cut the address.
//   - native: a plain C function with pointer-sized operands, the only symbol exported.
// Every build returns a signed 32-bit result (widened to LRESULT on Windows).
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>

namespace untgz {
#ifdef _WIN64
using EntryOperand1 = WPARAM;
#else
using EntryOperand1 = UINT;
#endif

// Operand 1 as the protocol's integer or address. A 32-bit operand is sign-extended, so
// that negative integers stay negative.
inline std::intptr_t operand1Value(EntryOperand1 operand1) {
#ifdef _WIN64
  return static_cast<std::intptr_t>(operand1);
#else
  return static_cast<std::intptr_t>(static_cast<std::int32_t>(operand1));
#endif
}
}  // namespace untgz

extern "C" LRESULT CALLBACK interface1(HWND command, untgz::EntryOperand1 operand1, WPARAM operand2,
                                       LPARAM operand3);
#else
extern "C" std::int32_t interface1(const char* command, std::intptr_t operand1,
                                   std::intptr_t operand2, std::intptr_t operand3);
#endif

// The entry's type, for a host that found it by name.
using Interface1Entry = decltype(&interface1);
