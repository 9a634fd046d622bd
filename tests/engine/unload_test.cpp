// The engine library as a host uses it: loaded, a job run, freed as soon as "status"
// answers 0, loaded again. A worker thread still returning through the library's code
// after "status" said 0 would run into unmapped memory here.
#include <gtest/gtest.h>

#include <string>

#include "common/wine_paths.h"
#include "common/entry.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// One loaded copy of the library and its entry.
class LoadedEngine {
 public:
  LoadedEngine() {
#ifdef _WIN32
    // The build names the library as the Linux file system sees it; Wine shows the Linux
    // root as drive Z:.
    library_ = ::LoadLibraryA(untgz::paths::windowsPathOf(ZAX_ENGINE_LIBRARY).c_str());
    if (library_)
      entry_ = reinterpret_cast<Interface1Entry>(
          reinterpret_cast<void*>(::GetProcAddress(library_, "interface1")));
#else
    library_ = ::dlopen(ZAX_ENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library_) entry_ = reinterpret_cast<Interface1Entry>(::dlsym(library_, "interface1"));
#endif
  }
  ~LoadedEngine() {
    if (!library_) return;
#ifdef _WIN32
    ::FreeLibrary(library_);
#else
    ::dlclose(library_);
#endif
  }
  LoadedEngine(const LoadedEngine&) = delete;
  LoadedEngine& operator=(const LoadedEngine&) = delete;

  bool ready() const { return entry_ != nullptr; }

  std::int32_t call(const char* command, std::intptr_t operand1 = 0, std::intptr_t operand2 = 0,
                    std::intptr_t operand3 = 0) {
#ifdef _WIN32
    return static_cast<std::int32_t>(entry_(reinterpret_cast<HWND>(const_cast<char*>(command)),
                                            static_cast<untgz::EntryOperand1>(operand1),
                                            static_cast<WPARAM>(operand2),
                                            static_cast<LPARAM>(operand3)));
#else
    return entry_(command, operand1, operand2, operand3);
#endif
  }

 private:
#ifdef _WIN32
  HMODULE library_ = nullptr;
#else
  void* library_ = nullptr;
#endif
  Interface1Entry entry_ = nullptr;
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
