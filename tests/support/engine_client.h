// Talks to an engine through its command protocol, as a host does. Every test gets an
// engine of its own (EngineTest), so that no test depends on what another left behind.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/test_support.h"

namespace enginetest {

std::intptr_t text(const std::string& value);

struct Listed {
  std::string name;
  std::int32_t isDir, size, year, month, day, hour, minute, second;
};

// What a listing job left in the entry list ("tarinfodelete" at the end).
struct ListResult {
  std::int32_t result = -1;
  std::int32_t dirs = 0, files = 0;
  std::vector<Listed> entries;
  std::vector<std::string> names() const;
};

class EngineClient {
 public:
  explicit EngineClient(untgz::Engine& engine) : engine_(engine) {}

  std::int32_t call(const char* command, std::intptr_t operand1 = 0, std::intptr_t operand2 = 0,
                    std::intptr_t operand3 = 0);
  // A command that fills operand 1's buffer (blanks, with room for a text in UTF-8).
  std::string textResult(const char* command);

  // Waits until "status" gives 0 (the worker has exited); fails the test instead of
  // hanging after a generous while.
  void waitForIdle();

  // Runs a listing job over the archive and walks the entry list.
  ListResult listArchive(const std::string& engineArchivePath);
  ListResult listBytes(const zaxtest::Bytes& archive, const std::string& fileName = "archive.tar");

 private:
  untgz::Engine& engine_;
};

// The engine of one test. It is made before the client that talks to it and goes after
// it, with every hook the test set.
struct FreshEngine {
  untgz::Engine engine;
};

class EngineTest : public testing::Test, protected FreshEngine, public EngineClient {
 protected:
  EngineTest() : EngineClient(FreshEngine::engine) {}
};

}  // namespace enginetest
