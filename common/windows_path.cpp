#include "common/windows_path.h"

#include <windows.h>

#include "common/utf8.h"

namespace zax {

std::wstring widePath(const std::string& path) {
  const std::wstring wide = fromUtf8(path);
  if (wide.size() < kPlainPathLimit) return wide;
  std::wstring full(wide.size() + 16, L'\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return longPathForm(wide);
    if (length < full.size()) {
      full.resize(length);
      return longPathForm(full);
    }
    full.resize(length);
  }
}

}  // namespace zax
