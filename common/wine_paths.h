// How the native build maps the engine's Windows paths onto a Linux file system and back,
// the way Wine does: drive Z: is the root "/", backslashes become slashes, and no other
// drive letter and no UNC server exists. Header-only and free of either side's code, so
// that the engine, its host, the command-line host and the tests all map paths alike.
#pragma once

#include <cctype>
#include <optional>
#include <string>

namespace untgz::paths {

// The POSIX path of an engine path, or nothing for a path that cannot exist here.
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

// The engine path of an absolute POSIX path: "Z:" before it, backslashes for slashes.
inline std::string windowsPathOf(const std::string& posixPath) {
  std::string path = "Z:" + posixPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace untgz::paths
