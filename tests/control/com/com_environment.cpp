// What every program of the COM tests needs first: the control registered in the Wine
// prefix with regsvr32, OLE started on the test thread, and a temporary folder of this
// process's own, so that the engine the control deploys under %TEMP% and the folders of
// the tests belong to this process alone.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/control/com/automation.h"

namespace comtest {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kFolderPrefix[] = L"zax-com-";

// Folders left by earlier runs (an engine still loaded when a process ended cannot be
// removed then). Only old ones: a folder of a test running beside this one is in use.
void removeStaleFolders(const fs::path& base) {
  std::error_code error;
  const auto now = fs::file_time_type::clock::now();
  for (const auto& entry : fs::directory_iterator(base, error)) {
    if (entry.path().filename().wstring().rfind(kFolderPrefix, 0) != 0) continue;
    const auto written = fs::last_write_time(entry.path(), error);
    if (!error && now - written > std::chrono::hours(1)) fs::remove_all(entry.path(), error);
  }
}

// A fatal failure in an environment's SetUp makes googletest report every test of the
// program as skipped, which ctest counts as no failure at all: the program ends as failed
// instead, saying why.
void require(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "COM test set-up failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

class ComEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    wchar_t base[MAX_PATH];
    require(GetTempPathW(MAX_PATH, base) != 0, "no temporary folder");
    removeStaleFolders(base);
    folder_ = fs::path(base) / (kFolderPrefix + std::to_wstring(GetCurrentProcessId()));
    std::error_code error;
    fs::create_directories(folder_, error);
    require(!error, "cannot make the test's temporary folder: " + error.message());
    const std::wstring temp = folder_.wstring() + L"\\";
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());

    require(OleInitialize(nullptr) == S_OK, "OleInitialize failed");
    watchDialogs();
    // Wine's regsvr32 now and then fails to start on a busy machine (seen once in many
    // runs, with no other test running); what it registers is RegistrationTest's to check,
    // so a failed attempt is tried again before the program gives up.
    DWORD code = 0xFFFFFFFF;
    for (int attempt = 0; attempt < 3 && code != 0; ++attempt) {
      if (attempt > 0) Sleep(1000);
      code = runProcess(L"regsvr32.exe /s \"" + ocxPath() + L"\"", 120000);
      if (code != 0) std::fprintf(stderr, "regsvr32 attempt %d ended with %lu\n", attempt + 1, code);
    }
    require(code == 0, "regsvr32 could not register the control");
  }

  void TearDown() override {
    CoFreeUnusedLibraries();
    OleUninitialize();
    std::error_code error;
    fs::remove_all(folder_, error);
  }

 private:
  fs::path folder_;
};

::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComEnvironment);

}  // namespace
}  // namespace comtest
