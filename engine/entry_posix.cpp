// The library's entry on the native build (its shape is explained in entry.h).
#include "engine/boundary.h"
#include "engine/commands.h"
#include "common/entry.h"
#include "engine/platform/platform.h"

// The entry is the boundary to callers that cannot take a C++ exception. One that reaches
// it (std::bad_alloc while a command copies a text) answers 0, the answer of a word the
// engine does not know: every command reads 0 as "nothing done, nothing to report" (no
// entry, no failure kept, text left as it was), and none of the commands that can throw
// answers 0 to mean something else. "status" and the job words, whose 0 a host acts on,
// do not throw: a job that cannot start ends itself with result 5.
extern "C" __attribute__((visibility("default"))) std::int32_t interface1(const char* command,
                                                                          std::intptr_t operand1,
                                                                          std::intptr_t operand2,
                                                                          std::intptr_t operand3) {
  return untgz::guarded(
      0, [&] { return untgz::dispatchCommand(command, operand1, operand2, operand3); });
}

// The load and unload lines that the Windows build writes from DllMain.
__attribute__((constructor)) static void libraryLoaded() {
  platform::debugOutput("DLL_PROCESS_ATTACH \n");
}

__attribute__((destructor)) static void libraryUnloaded() {
  platform::debugOutput("DLL_PROCESS_DETACH \n");
}
