#include "tar/output_path.h"

#include <cctype>
#include <cstddef>

namespace untgz {

namespace {

bool isDrivePrefix(const std::string& name, std::size_t at) {
  return name.size() >= at + 2 && name[at + 1] == ':' &&
         std::isalpha(static_cast<unsigned char>(name[at])) != 0;
}

// True for "..", and for the names Windows shortens to it or to an upward step when it
// drops trailing dots and spaces ("...", ".. ", ". ."): any component made of dots and
// spaces only that holds at least two dots.
bool climbsUp(const std::string& component) {
  int dots = 0;
  for (char c : component) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

}  // namespace

std::optional<std::string> buildOutputPath(const std::string& outputRoot,
                                           const std::string& memberName) {
  std::string name = memberName;
  for (char& c : name) {
    if (c == '/') c = '\\';
  }

  // "\\server\share\x", "c:\x", "/x" and even "\c:\x" all become relative names.
  std::size_t start = 0;
  for (;;) {
    if (start < name.size() && name[start] == '\\') {
      ++start;
    } else if (isDrivePrefix(name, start)) {
      start += 2;
    } else {
      break;
    }
  }
  name.erase(0, start);
  if (name.empty()) return std::nullopt;

  for (std::size_t begin = 0; begin <= name.size();) {
    std::size_t end = name.find('\\', begin);
    if (end == std::string::npos) end = name.size();
    if (climbsUp(name.substr(begin, end - begin))) return std::nullopt;
    begin = end + 1;
  }

  // Without a root there is no folder to stay inside.
  if (outputRoot.empty()) return std::nullopt;
  std::string path = outputRoot;
  if (path.back() != '\\') path += '\\';
  return path + name;
}

}  // namespace untgz
