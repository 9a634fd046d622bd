// Drives the engine through its command protocol for the interoperability test:
//   engine_driver list ARCHIVE             one line per entry: kind, size, local time, name
//   engine_driver extract ARCHIVE DEST [SELECTION]
// Prints the job's result last ("result N"), with the engine's text when it has one for that
// result ("result N: TEXT"). Paths are POSIX paths.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "engine/commands.h"
#include "tests/support/test_support.h"

namespace {

std::int32_t call(const char* command, std::intptr_t a = 0, std::intptr_t b = 0, std::intptr_t c = 0) {
  return untgz::dispatchCommand(command, a, b, c);
}
std::intptr_t text(const std::string& value) { return reinterpret_cast<std::intptr_t>(value.c_str()); }

std::int32_t runJob(int listMode, const std::string& archive, const std::string& destination,
                    const std::string& selection) {
  call("setflaglist", listMode);
  if (call("zaxuntar", text(archive), text(destination), text(selection)) != 0) return -1;
  while (call("status") == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return call("getintret");
}

void printResult(std::int32_t result) {
  if (result == 10 || result == 11) {
    char text[1100] = {};
    call("geterrorstring", reinterpret_cast<std::intptr_t>(text));
    std::printf("result %d: %s\n", result, text);
    return;
  }
  std::printf("result %d\n", result);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "list") == 0) {
    const std::int32_t result = runJob(1, zaxtest::enginePath(argv[2]), "c:\\", "*.*");
    for (std::int32_t more = call("tarinfo"); more == 1; more = call("tarinfo2")) {
      char name[300];
      call("tarinfofilename", reinterpret_cast<std::intptr_t>(name));
      std::printf("%s\t%d\t%04d-%02d-%02d %02d:%02d:%02d\t%s\n", call("tarinfoisdir") ? "dir" : "file",
                  call("tarinfosize"), call("tarinfoyear"), call("tarinfomonth"), call("tarinfoday"),
                  call("tarinfohour"), call("tarinfominute"), call("tarinfosecond"), name);
    }
    call("tarinfodelete");
    printResult(result);
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "extract") == 0) {
    const std::int32_t result = runJob(0, zaxtest::enginePath(argv[2]), zaxtest::enginePath(argv[3]),
                                       argc >= 5 ? argv[4] : "*.*");
    printResult(result);
    return 0;
  }
  std::fprintf(stderr, "usage: engine_driver list ARCHIVE | extract ARCHIVE DEST [SELECTION]\n");
  return 2;
}
