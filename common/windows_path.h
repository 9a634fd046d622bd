// The long form of a Windows path ("\\?\C:\..." and "\\?\UNC\server\share\..."), in which
// the wide calls take paths up to the system's limit of 32,767 characters instead of
// MAX_PATH. Text only, no system call, so that the engine and its host form it alike;
// widePath, which asks the system for a full path, is Windows' own (windows_path.cpp).
#pragma once

#include <string>

namespace zax {

// The system's limit on a path in the long form, in UTF-16 units, with its NUL.
inline constexpr std::size_t kLongPathLimit = 32767;
// The longest component a Windows file system takes (NTFS, FAT32, exFAT).
inline constexpr std::size_t kLongestComponent = 255;
// Plain paths from this length on go in the long form: CreateDirectoryW refuses a plain path
// that leaves no room for an 8.3 name (MAX_PATH - 12), the other calls one of MAX_PATH.
inline constexpr std::size_t kPlainPathLimit = 260 - 12;

// The long form of a full path (drive or UNC, as GetFullPathNameW answers it): nothing in
// it is read as "." or "..", and no trailing dot or space is dropped any more, so it must be
// full already. Paths in the long or device form already, and relative ones, come back as
// they are.
inline std::wstring longPathForm(const std::wstring& fullPath) {
  if (fullPath.compare(0, 4, L"\\\\?\\") == 0 || fullPath.compare(0, 4, L"\\\\.\\") == 0)
    return fullPath;
  if (fullPath.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + fullPath.substr(2);
  if (fullPath.size() >= 3 && fullPath[1] == L':' && fullPath[2] == L'\\')
    return L"\\\\?\\" + fullPath;
  return fullPath;
}

// True when the system cannot take the path even in its long form: the whole path or one of
// its components is past the limits above.
inline bool pastTheSystemLimits(const std::wstring& path) {
  if (longPathForm(path).size() >= kLongPathLimit) return true;
  std::size_t component = 0;
  for (wchar_t c : path) {
    component = (c == L'\\' || c == L'/') ? 0 : component + 1;
    if (component > kLongestComponent) return true;
  }
  return false;
}

#ifdef _WIN32
// A path as the wide calls take it: UTF-16, and from kPlainPathLimit on in the long form of
// its full path. The long form skips the system's own reading of the path ("." and "..",
// "/" for "\\"), so the full path is asked of the system first, which reads it as the plain
// form would be read.
std::wstring widePath(const std::string& path);
#endif

}  // namespace zax
