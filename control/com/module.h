// What the whole server shares: its module handle, the count that decides whether it may
// be unloaded, and its own type library.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace zax::com {

// Set once, by DllMain, when the module is loaded.
void setModuleHandle(HINSTANCE module);
HINSTANCE moduleHandle();
std::wstring modulePath();

// Live objects and LockServer locks; the server may be unloaded only when both are zero.
void lockModule();
void unlockModule();
bool moduleInUse();

// Holds the module loaded for as long as the object that owns it lives.
class ModuleLock {
 public:
  ModuleLock() { lockModule(); }
  ~ModuleLock() { unlockModule(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;
};

// The type library embedded in this module as TYPELIB 1.
HRESULT loadOwnTypeLib(ITypeLib** lib);

}  // namespace zax::com
