// The library's entry on Windows: interface1 has the shape of a window procedure, so that
// the host can run it through CallWindowProcA; every value is 32 bits.
#include <windows.h>

#include <cstdint>

#include "commands.h"

extern "C" LRESULT CALLBACK interface1(HWND command, UINT operand1, WPARAM operand2,
                                       LPARAM operand3) {
  return untgz::dispatchCommand(reinterpret_cast<const char*>(command),
                                static_cast<std::intptr_t>(static_cast<std::int32_t>(operand1)),
                                static_cast<std::intptr_t>(operand2),
                                static_cast<std::intptr_t>(operand3));
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
