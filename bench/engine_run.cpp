// engine_run ENGINE ARCHIVE DESTINATION
// (ARCHIVE and DESTINATION in the engine's form, drive Z: for the Linux root natively too.)
// One extraction through the engine library's entry, as a host drives it: the same
// program natively and in the Windows builds, so that the benchmark can time the win64
// engine under Wine against the native one. Prints the job's result and the number of
// members not extracted; exits 0 when the result is 0.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "common/entry.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

Interface1Entry entry = nullptr;

std::int32_t call(const char* word, std::intptr_t operand1 = 0, std::intptr_t operand2 = 0,
                  std::intptr_t operand3 = 0) {
#ifdef _WIN32
  return static_cast<std::int32_t>(entry(reinterpret_cast<HWND>(const_cast<char*>(word)),
                                         static_cast<untgz::EntryOperand1>(operand1),
                                         static_cast<WPARAM>(operand2), static_cast<LPARAM>(operand3)));
#else
  return entry(word, operand1, operand2, operand3);
#endif
}

std::intptr_t text(std::string& value) { return reinterpret_cast<std::intptr_t>(value.data()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: engine_run ENGINE ARCHIVE DESTINATION\n");
    return 2;
  }
#ifdef _WIN32
  HMODULE library = ::LoadLibraryA(argv[1]);
  // Through a function type without parameters: the entry's own type differs from FARPROC.
  if (library)
    entry = reinterpret_cast<Interface1Entry>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library, "interface1")));
#else
  void* library = ::dlopen(argv[1], RTLD_NOW);
  if (library) entry = reinterpret_cast<Interface1Entry>(::dlsym(library, "interface1"));
#endif
  if (!entry) {
    std::fprintf(stderr, "engine_run: cannot load %s\n", argv[1]);
    return 2;
  }
  std::string archive = argv[2], destination = argv[3], selection = "*.*";
  call("setflaglist", 0);
  call("zaxuntar", text(archive), text(destination), text(selection));
  while (call("status") != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::int32_t result = call("getintret");
  std::printf("result %d failed %d\n", static_cast<int>(result), static_cast<int>(call("getnumfailed")));
  return result == 0 ? 0 : 1;
}
