// The state of the module as a whole: its handle and the count of what keeps it loaded.
// The DLL's entry points are in dll_exports.cpp.
#include "control/com/module.h"

#include <atomic>

namespace zax::com {
namespace {

HINSTANCE gModule = nullptr;
std::atomic<long> gLocks{0};

}  // namespace

void setModuleHandle(HINSTANCE module) { gModule = module; }
HINSTANCE moduleHandle() { return gModule; }

std::wstring modulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void lockModule() { ++gLocks; }
void unlockModule() { --gLocks; }
bool moduleInUse() { return gLocks.load() != 0; }

HRESULT loadOwnTypeLib(ITypeLib** lib) {
  const std::wstring path = modulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(::GetLastError());
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
}

}  // namespace zax::com
