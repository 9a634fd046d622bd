// The engine library as a host uses it: loaded, a job run, freed as soon as "status"
// answers 0, loaded again. A worker thread still returning through the library's code
// after "status" said 0 would run into unmapped memory here.
#include <gtest/gtest.h>

#include <string>

#include "common/wine_paths.h"
#include "host/engine_entry.h"
#include "tests/support/test_support.h"

namespace {

// One loaded copy of the library and its entry. The build names the library as the Linux
// file system sees it; Wine shows the Linux root as drive Z:.
class LoadedEngine : public zax::os::EngineEntry {
 public:
  LoadedEngine() {
#ifdef _WIN32
    load(untgz::paths::windowsPathOf(ZAX_ENGINE_LIBRARY));
#else
    load(ZAX_ENGINE_LIBRARY);
#endif
  }
};

std::intptr_t text(const std::string& value) {
  return reinterpret_cast<std::intptr_t>(value.c_str());
}

TEST(Unload, TheLibraryIsFreedAsSoonAsStatusAnswersZero) {
  zaxtest::TempFolder folder;
  zaxtest::writeFile(folder.nativeChild("a.tar"),
                     zaxtest::TarBuilder().file("x", "1").end().bytes());
  const std::string archive = folder.engineChild("a.tar"), out = folder.engineChild("out"),
                    all = "*.*";
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    LoadedEngine engine;
    ASSERT_TRUE(engine.ready());
    // A library freed in the round before comes back as after its first load.
    EXPECT_EQ(engine.call("getfinished"), 0);
    engine.call("setfinished", round + 1);
    engine.call("setflaglist", round % 2);
    ASSERT_EQ(engine.call("zaxuntar", text(archive), text(out), text(all)), 0);
    while (engine.call("status") != 0) {
    }
    EXPECT_EQ(engine.call("getintret"), 0);
  }
}

}  // namespace
