// Owners of Windows' own handles, on the template of unique_resource.h: files and folders
// (INVALID_HANDLE_VALUE owns nothing), threads, events and processes (null owns nothing),
// registry keys and loaded modules.
#pragma once

#include <windows.h>

#include "common/unique_resource.h"

namespace zax {

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle invalid() { return INVALID_HANDLE_VALUE; }
  static bool close(Handle handle) { return ::CloseHandle(handle) != 0; }
};
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

struct KernelHandleTraits {
  using Handle = HANDLE;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle handle) { return ::CloseHandle(handle) != 0; }
};
using UniqueKernelHandle = UniqueResource<KernelHandleTraits>;

struct RegistryKeyTraits {
  using Handle = HKEY;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle key) { return ::RegCloseKey(key) == ERROR_SUCCESS; }
};
using UniqueRegistryKey = UniqueResource<RegistryKeyTraits>;

struct ModuleTraits {
  using Handle = HMODULE;
  static constexpr Handle invalid() { return nullptr; }
  static bool close(Handle module) { return ::FreeLibrary(module) != 0; }
};
using UniqueModule = UniqueResource<ModuleTraits>;

}  // namespace zax
