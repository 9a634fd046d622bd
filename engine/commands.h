// The command protocol behind interface1: a command word and three operands in, a signed
// 32-bit result out. Operands are integers, addresses of NUL-terminated strings, or
// addresses of caller-owned output buffers of at least protocol::kHostBufferSize bytes, as
// the command decides. A word the table does not hold answers 0 and does nothing.
#pragma once

#include <cstdint>

namespace untgz {

class Engine;

// One command, run on `engine`. Exceptions (std::bad_alloc) pass through; interface1 is the
// boundary that answers for them.
std::int32_t dispatchCommand(Engine& engine, const char* command, std::intptr_t operand1 = 0,
                             std::intptr_t operand2 = 0, std::intptr_t operand3 = 0);

// One command, run on the library's own engine (processEngine()).
std::int32_t dispatchCommand(const char* command, std::intptr_t operand1, std::intptr_t operand2,
                             std::intptr_t operand3);

}  // namespace untgz
