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

#include "common/protocol.h"
#include "host/engine_entry.h"

namespace {

std::intptr_t text(std::string& value) { return reinterpret_cast<std::intptr_t>(value.data()); }

}  // namespace

int main(int argc, char** argv) {
  namespace protocol = untgz::protocol;
  if (argc != 4) {
    std::fprintf(stderr, "usage: engine_run ENGINE ARCHIVE DESTINATION\n");
    return 2;
  }
  zax::os::EngineEntry engine;
  if (engine.load(argv[1]) != zax::os::EngineEntry::Load::done) {
    std::fprintf(stderr, "engine_run: cannot load %s\n", argv[1]);
    return 2;
  }
  std::string archive = argv[2], destination = argv[3], selection = "*.*";
  engine.call(protocol::kSetListMode.narrow, 0);
  engine.call(protocol::kExtract.narrow, text(archive), text(destination), text(selection));
  while (engine.call(protocol::kStatus.narrow) == protocol::kJobRunning)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::int32_t result = engine.call(protocol::kResult.narrow);
  std::printf("result %d failed %d\n", static_cast<int>(result),
              static_cast<int>(engine.call(protocol::kFailedCount.narrow)));
  // The job has ended: the library may go.
  engine.unload();
  return result == 0 ? 0 : 1;
}
