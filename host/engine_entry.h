// The engine library loaded and its one entry found, the way every host of the engine finds
// them: the control's ZipClass, the test that loads and frees the library round after
// round, and the benchmark's driver.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_system.h"

namespace zax::os {

class EngineEntry {
 public:
  enum class Load { done, noLibrary, noEntry };

  // Loads the library at `path` (the host's form: UTF-8, a Windows path on Windows, drive
  // Z: or a plain POSIX path natively) and finds "interface1". Whatever was loaded before
  // is freed first.
  Load load(const std::string& path);
  // Frees the library; nothing is reachable afterwards.
  void unload();
  // Gives the library up without freeing it, for the end of a process that may still have
  // a job of the engine running (freeing it would take the code from under that job).
  void abandon();

  bool libraryLoaded() const { return static_cast<bool>(library_); }
  bool ready() const { return entry_ != nullptr; }

  // Runs the entry (see os::callEntry). Only when ready().
  std::int32_t call(const char* command, std::intptr_t operand1 = 0, std::intptr_t operand2 = 0,
                    std::intptr_t operand3 = 0) const {
    return callEntry(entry_, command, operand1, operand2, operand3);
  }

 private:
  UniqueLibrary library_;
  void* entry_ = nullptr;
};

}  // namespace zax::os
