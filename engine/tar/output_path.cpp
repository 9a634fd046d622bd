#include "engine/tar/output_path.h"

#include <cctype>
#include <cstddef>

namespace untgz {

namespace {

bool isDrivePrefix(const std::string& name, std::size_t at) {
  return name.size() >= at + 2 && name[at + 1] == ':' &&
         std::isalpha(static_cast<unsigned char>(name[at])) != 0;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// True for "..", and for the names Windows shortens to it or to an upward step when it
// drops trailing dots and spaces ("...", ".. ", ". ."): any component made of dots and
// spaces only that holds at least two dots.
bool climbsUp(const std::string& name, std::size_t begin, std::size_t end) {
  int dots = 0;
  for (std::size_t i = begin; i < end; ++i) {
    if (name[i] == '.') {
      ++dots;
    } else if (name[i] != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// Characters no Windows file name may hold (the name is UTF-8, so a byte below 0x80 is
// that character itself).
bool forbiddenOnWindows(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 1 && byte < 0x20) return true;
  switch (c) {
    case '<': case '>': case ':': case '"': case '|': case '?': case '*':
      return true;
    default:
      return false;
  }
}

}  // namespace

MemberPath memberPath(const std::string& memberName, std::string& relative, NameRules rules) {
  // "\\server\share\x", "c:\x", "/x" and even "\c:\x" all become relative names.
  std::size_t start = 0;
  for (;;) {
    if (start < memberName.size() && isSeparator(memberName[start])) {
      ++start;
    } else if (isDrivePrefix(memberName, start)) {
      start += 2;
    } else {
      break;
    }
  }

  // One pass over the components: linear in the name, however many there are.
  relative.clear();
  relative.reserve(memberName.size() - start);
  for (std::size_t begin = start; begin <= memberName.size();) {
    std::size_t end = begin;
    while (end < memberName.size() && !isSeparator(memberName[end])) ++end;
    const std::size_t length = end - begin;
    if (climbsUp(memberName, begin, end)) {
      relative.clear();
      return MemberPath::climbsUp;
    }
    if (length != 0 && !(length == 1 && memberName[begin] == '.')) {
      if (!relative.empty()) relative += '\\';
      const std::size_t at = relative.size();
      relative.append(memberName, begin, length);
      if (rules == NameRules::windows) {
        for (std::size_t i = at; i < relative.size(); ++i) {
          if (forbiddenOnWindows(relative[i])) relative[i] = '_';
        }
      }
    }
    begin = end + 1;
  }
  return relative.empty() ? MemberPath::empty : MemberPath::ok;
}

}  // namespace untgz
