// An engine stand-in whose answers show what the host sent:
//   "digits"   operand1 * 100 + operand2 * 10 + operand3 (operands taken as 32-bit integers)
//   "length"   the byte length of the string at operand 1, -1 for a null address
//   "echo"     copies the string at operand 2 into the buffer at operand 1
//   "scribble" writes "c1" over the command word, "o1" at operand 1 and "o2" at operand 2
// Anything else answers 0 and writes nothing.
#include <cstdint>
#include <cstring>

#include "common/entry.h"

namespace {

std::int32_t answer(char* command, std::intptr_t operand1, std::intptr_t operand2,
                    std::intptr_t operand3) {
  char* first = reinterpret_cast<char*>(operand1);
  char* second = reinterpret_cast<char*>(operand2);
  if (std::strcmp(command, "digits") == 0) {
    return static_cast<std::int32_t>(operand1) * 100 + static_cast<std::int32_t>(operand2) * 10 +
           static_cast<std::int32_t>(operand3);
  }
  if (std::strcmp(command, "length") == 0) {
    return first ? static_cast<std::int32_t>(std::strlen(first)) : -1;
  }
  if (std::strcmp(command, "echo") == 0) {
    std::strcpy(first, second);
    return 0;
  }
  if (std::strcmp(command, "scribble") == 0) {
    std::strcpy(command, "c1");
    std::strcpy(first, "o1");
    std::strcpy(second, "o2");
    return 0;
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
extern "C" LRESULT CALLBACK interface1(HWND command, untgz::EntryOperand1 operand1, WPARAM operand2,
                                       LPARAM operand3) {
  return answer(reinterpret_cast<char*>(command), untgz::operand1Value(operand1),
                static_cast<std::intptr_t>(operand2),
                static_cast<std::intptr_t>(operand3));
}
#else
extern "C" __attribute__((visibility("default"))) std::int32_t interface1(const char* command,
                                                                          std::intptr_t operand1,
                                                                          std::intptr_t operand2,
                                                                          std::intptr_t operand3) {
  return answer(const_cast<char*>(command), operand1, operand2, operand3);
}
#endif
