// The DLL's entry points: DllMain and what COM and regsvr32 call. Each export is a guarded
// boundary: nothing thrown inside reaches the caller, who gets an HRESULT instead.
#include <windows.h>
#include <olectl.h>

#include "ZAXTarGzip_h.h"
#include "control/com/class_factory.h"
#include "control/com/com_ptr.h"
#include "control/com/control_view.h"
#include "control/com/guarded.h"
#include "control/com/module.h"
#include "control/com/registration.h"
#include "control/ui/window_timer.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    zax::com::setModuleHandle(module);
    DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded while the process goes on: a class left behind would point into freed code.
    zax::ui::WindowTimer::unregisterWindowClass(module);
    zax::com::unregisterControlWindowClass(module);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  using namespace zax::com;
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_ZAXTarGzip)) return CLASS_E_CLASSNOTAVAILABLE;
  return guarded([&] {
    ComPtr<ClassFactory> factory;
    factory.attach(new ClassFactory());
    return factory->QueryInterface(iid, object);
  });
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return zax::com::moduleInUse() ? S_FALSE : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return zax::com::guarded(zax::com::registerServer, SELFREG_E_CLASS);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return zax::com::guarded(zax::com::unregisterServer, SELFREG_E_CLASS);
}
