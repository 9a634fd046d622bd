// How the native build maps the engine's Windows paths onto a Linux file system, the way
// Wine does: drive Z: is the root "/", backslashes become slashes, and no other drive
// letter and no UNC server exists. Header-only, so that the engine host (which cannot link
// the engine) maps paths exactly as the engine does.
#pragma once

#include <cctype>
#include <optional>
#include <string>

namespace platform {

inline std::optional<std::string> posixPathOf(const std::string& path) {
  std::string rest;
  if (path.size() >= 2 && path[1] == ':') {
    if (std::tolower(static_cast<unsigned char>(path[0])) != 'z') return std::nullopt;
    rest = path.substr(2);
    if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) rest.insert(0, "/");
  } else if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
             (path[1] == '\\' || path[1] == '/')) {
    return std::nullopt;  // no UNC server exists here
  } else {
    rest = path;
  }
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return rest;
}

}  // namespace platform
