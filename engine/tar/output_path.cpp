#include "engine/tar/output_path.h"

#include <cctype>
#include <cstddef>
#include <vector>

namespace untgz {

namespace {

bool isDrivePrefix(const std::string& name, std::size_t at) {
  return name.size() >= at + 2 && name[at + 1] == ':' &&
         std::isalpha(static_cast<unsigned char>(name[at])) != 0;
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// True for a component that steps up a folder. Natively only ".." does; Windows also
// shortens "...", ".. " or ". ." to an upward step when it drops trailing dots and spaces,
// so there any component made of dots and spaces only that holds at least two dots does.
bool climbsUp(const std::string& name, std::size_t begin, std::size_t end, NameRules rules) {
  if (rules == NameRules::bytes) return end - begin == 2 && name[begin] == '.' && name[begin + 1] == '.';
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

// True when Windows takes the component as a device ("NUL", "con.txt", "COM1.tar.gz",
// "LPT¹"): the part before the first dot, trailing spaces dropped, is a reserved name
// in any letter case.
bool isDeviceName(const std::string& component) {
  std::size_t end = component.find('.');
  if (end == std::string::npos) end = component.size();
  while (end > 0 && component[end - 1] == ' ') --end;
  std::string base = component.substr(0, end);
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
  const std::string digit = base.substr(3);
  // COM0 to COM9, and the superscript digits Windows also reads as port numbers.
  if (digit.size() == 1) return digit[0] >= '0' && digit[0] <= '9';
  return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
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

// A component as Windows can hold it: the characters it refuses become '_', a device name
// gets a '_' in front, and trailing dots and spaces (which Windows would drop, making two
// names one) become '_'.
void mapForWindows(std::string& relative, std::size_t at) {
  for (std::size_t i = at; i < relative.size(); ++i) {
    if (forbiddenOnWindows(relative[i])) relative[i] = '_';
  }
  if (isDeviceName(relative.substr(at))) relative.insert(at, 1, '_');
  for (std::size_t i = relative.size(); i > at && (relative[i - 1] == '.' || relative[i - 1] == ' '); --i)
    relative[i - 1] = '_';
}

}  // namespace

MemberPath memberPath(const std::string& memberName, std::string& relative, NameRules rules) {
  // "\\server\share\x", "/x" and even "\c:\x" all become relative names. Natively a
  // drive prefix ("c:") is dropped too; Windows rules turn its ':' into '_' instead, so
  // that no name can reach another drive.
  std::size_t start = 0;
  for (;;) {
    if (start < memberName.size() && isSeparator(memberName[start])) {
      ++start;
    } else if (rules == NameRules::bytes && isDrivePrefix(memberName, start)) {
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
    if (climbsUp(memberName, begin, end, rules)) {
      relative.clear();
      return MemberPath::climbsUp;
    }
    if (length != 0 && !(length == 1 && memberName[begin] == '.')) {
      if (!relative.empty()) relative += '\\';
      const std::size_t at = relative.size();
      relative.append(memberName, begin, length);
      if (rules == NameRules::windows) mapForWindows(relative, at);
    }
    begin = end + 1;
  }
  return relative.empty() ? MemberPath::empty : MemberPath::ok;
}

bool symbolicLinkTarget(const std::string& linkRelative, const std::string& target, NameRules rules,
                        std::string& leadsTo, std::string& text) {
  leadsTo.clear();
  text.clear();
  if (target.empty() || isSeparator(target[0]) || (rules == NameRules::windows && isDrivePrefix(target, 0)))
    return false;
  // The folders the link is in (its own name is the last component), then the target's
  // steps from there.
  std::vector<std::string> at;
  for (std::size_t begin = 0, end; (end = linkRelative.find('\\', begin)) != std::string::npos; begin = end + 1)
    at.push_back(linkRelative.substr(begin, end - begin));
  std::vector<std::string> steps;  // the text's components
  for (std::size_t begin = 0; begin <= target.size();) {
    std::size_t end = begin;
    while (end < target.size() && !isSeparator(target[end])) ++end;
    std::string component = target.substr(begin, end - begin);
    const bool climbs = climbsUp(target, begin, end, rules);
    begin = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (at.empty()) return false;
      at.pop_back();
    } else if (climbs) {
      return false;
    } else {
      if (rules == NameRules::windows) mapForWindows(component, 0);
      at.push_back(component);
    }
    steps.push_back(component);
  }
  for (const std::string& component : at) {
    if (!leadsTo.empty()) leadsTo += '\\';
    leadsTo += component;
  }
  if (rules == NameRules::bytes) {
    text = target;
  } else {
    for (const std::string& step : steps) {
      if (!text.empty()) text += '\\';
      text += step;
    }
    if (text.empty()) text = ".";
  }
  return true;
}

}  // namespace untgz
