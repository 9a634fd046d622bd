// The library's entry on the native build (its shape is explained in entry.h).
#include "engine/entry.h"

#include "engine/commands.h"
#include "engine/platform/platform.h"

extern "C" __attribute__((visibility("default"))) std::int32_t interface1(const char* command,
                                                                          std::intptr_t operand1,
                                                                          std::intptr_t operand2,
                                                                          std::intptr_t operand3) {
  return untgz::dispatchCommand(command, operand1, operand2, operand3);
}

// The load and unload lines that the Windows build writes from DllMain.
__attribute__((constructor)) static void libraryLoaded() {
  platform::debugOutput("DLL_PROCESS_ATTACH \n");
}

__attribute__((destructor)) static void libraryUnloaded() {
  platform::debugOutput("DLL_PROCESS_DETACH \n");
}
