// The command protocol behind interface1: a command word and three operands in, a signed
// 32-bit result out. Operands are integers, addresses of NUL-terminated strings, or
// addresses of caller-owned output buffers of at least 256 bytes, as the command decides.
#pragma once

#include <cstdint>

namespace untgz {

std::int32_t dispatchCommand(const char* command, std::intptr_t operand1, std::intptr_t operand2,
                             std::intptr_t operand3);

}  // namespace untgz
