// The library's entry on Windows (its shape is explained in entry.h).
#include "engine/boundary.h"
#include "engine/commands.h"
#include "common/entry.h"

// The entry is the boundary to callers that cannot take a C++ exception. One that reaches
// it answers 0, as a word the engine does not know does (see entry_posix.cpp).
extern "C" LRESULT CALLBACK interface1(HWND command, untgz::EntryOperand1 operand1, WPARAM operand2,
                                       LPARAM operand3) {
  return untgz::guarded(0, [&] {
    return untgz::dispatchCommand(
        reinterpret_cast<const char*>(command), untgz::operand1Value(operand1),
        static_cast<std::intptr_t>(operand2), static_cast<std::intptr_t>(operand3));
  });
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      OutputDebugStringA("DLL_PROCESS_ATTACH \n");
      break;
    case DLL_THREAD_ATTACH:
      OutputDebugStringA("DLL_THREAD_ATTACH \n");
      break;
    case DLL_THREAD_DETACH:
      OutputDebugStringA("DLL_THREAD_DETACH \n");
      break;
    case DLL_PROCESS_DETACH:
      OutputDebugStringA("DLL_PROCESS_DETACH \n");
      break;
    default:
      break;
  }
  return TRUE;
}
