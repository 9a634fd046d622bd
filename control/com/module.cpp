// The server's entry points for COM: DllMain, DllGetClassObject and DllCanUnloadNow.
#include "control/com/module.h"

#include <objbase.h>

#include <atomic>

#include "ZAXTarGzip_h.h"
#include "control/com/class_factory.h"
#include "control/com/control_object.h"
#include "control/ui/window_timer.h"

namespace zax::com {
namespace {

HINSTANCE gModule = nullptr;
std::atomic<long> gLocks{0};

}  // namespace

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

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    zax::com::gModule = module;
    DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded while the process goes on: a class left behind would point into freed code.
    zax::ui::WindowTimer::unregisterWindowClass(module);
    zax::com::unregisterControlWindowClass(module);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_ZAXTarGzip)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) zax::com::ClassFactory();
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return zax::com::moduleInUse() ? S_FALSE : S_OK;
}
