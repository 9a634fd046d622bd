#include <windows.h>

#include "host/engine_image.h"

namespace zax {

namespace {

// The module (control or test program) that this code was linked into.
HMODULE moduleOfThisCode() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&moduleOfThisCode), &module);
  return module;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> loadRawResource(std::int32_t number, void* module) {
  HMODULE owner = module ? static_cast<HMODULE>(module) : moduleOfThisCode();
  HRSRC resource = ::FindResourceA(owner, MAKEINTRESOURCEA(number), MAKEINTRESOURCEA(10));
  if (resource == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(owner, resource);
  const DWORD size = ::SizeofResource(owner, resource);
  const auto* bytes = static_cast<const std::uint8_t*>(loaded ? ::LockResource(loaded) : nullptr);
  if (bytes == nullptr) return std::nullopt;
  return std::vector<std::uint8_t>(bytes, bytes + size);
}

}  // namespace zax
