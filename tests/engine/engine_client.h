// Talks to the engine through its command protocol, as a host does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "test_support.h"

namespace enginetest {

std::int32_t call(const char* command, std::intptr_t operand1 = 0, std::intptr_t operand2 = 0,
                  std::intptr_t operand3 = 0);
std::intptr_t text(const std::string& value);
std::string textResult(const char* command);  // a command that fills operand 1's buffer

// Waits until "status" gives 0; fails the test (instead of hanging) after a generous while.
void waitForIdle();

struct Listed {
  std::string name;
  std::int32_t isDir, size, year, month, day, hour, minute, second;
};

// Runs a listing job over the archive and walks the entry list ("tarinfodelete" at the end).
struct Listing {
  std::int32_t result = -1;
  std::int32_t dirs = 0, files = 0;
  std::vector<Listed> entries;
  std::vector<std::string> names() const;
};
Listing listArchive(const std::string& engineArchivePath);
Listing listBytes(const zaxtest::Bytes& archive, const std::string& fileName = "archive.tar");

}  // namespace enginetest
