// zaxtar: the command-line host. `zaxtar list ARCHIVE` lists an archive through the
// engine's command protocol, as a host application would.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "commands.h"

namespace {

std::int32_t call(const char* command, std::intptr_t operand1 = 0, std::intptr_t operand2 = 0,
                  std::intptr_t operand3 = 0) {
  return untgz::dispatchCommand(command, operand1, operand2, operand3);
}

std::intptr_t text(const std::string& value) { return reinterpret_cast<std::intptr_t>(value.c_str()); }

// The engine speaks Windows paths; on this system drive Z: is the root.
std::string enginePath(const std::string& posixPath) {
  std::string path = "Z:" + std::filesystem::absolute(posixPath).lexically_normal().string();
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

const char* outcomeText(std::int32_t result) {
  switch (result) {
    case 0: return "No error";
    case 3: return "The compressed data is damaged or cut off";
    case 5: return "The archive cannot be opened";
    case 8: return "The archive is cut off or is not a tar archive";
    default: return "Unexpected error";
  }
}

int list(const std::string& archive) {
  call("setflaglist", 1);
  const std::string engineArchive = enginePath(archive), destination = "c:\\", selection = "*.*";
  if (call("zaxuntar", text(engineArchive), text(destination), text(selection)) != 0) {
    std::fprintf(stderr, "zaxtar: a job is already running\n");
    return 1;
  }
  while (call("status") == 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  for (std::int32_t more = call("tarinfo"); more == 1; more = call("tarinfo2")) {
    char name[300];
    call("tarinfofilename", reinterpret_cast<std::intptr_t>(name));
    std::printf("%s %12ld  %04d-%02d-%02d %02d:%02d:%02d  %s\n",
                call("tarinfoisdir") ? "dir " : "file", static_cast<long>(call("tarinfosize")),
                call("tarinfoyear"), call("tarinfomonth"), call("tarinfoday"), call("tarinfohour"),
                call("tarinfominute"), call("tarinfosecond"), name);
  }
  call("tarinfodelete");
  std::printf("%d directories, %d files\n", call("getnumdir"), call("getnumfiles"));
  const std::int32_t result = call("getintret");
  if (result != 0) {
    std::fprintf(stderr, "zaxtar: %d %s\n", result, outcomeText(result));
    return 1;
  }
  std::printf("0 No error\n");
  return 0;
}

void usage(std::FILE* out) {
  std::fprintf(out, "usage: zaxtar list ARCHIVE\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "list") == 0) return list(argv[2]);
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    usage(stdout);
    return 0;
  }
  usage(stderr);
  return 2;
}
