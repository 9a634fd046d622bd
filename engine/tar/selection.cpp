#include "engine/tar/selection.h"

#include <cctype>
#include <cstddef>

namespace untgz {

namespace {

// Stands in for a star at either end of a pattern while the inner star splits it. A
// selection arrives as a NUL-terminated string, so the mark can never be a character of
// the pattern itself (a visible character would turn the user's own into a wildcard).
const char kEndStarMark = '\0';

std::string toLowerText(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The part of a member name after its last "/" or backslash.
std::string baseNameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Number of places where part occurs in text, ignoring case.
int countOccurrences(const std::string& text, const std::string& part) {
  if (part.empty() || part.size() > text.size()) return 0;
  const std::string lowText = toLowerText(text);
  const std::string lowPart = toLowerText(part);
  int count = 0;
  for (std::size_t i = 0; i + lowPart.size() <= lowText.size(); ++i) {
    if (lowText.compare(i, lowPart.size(), lowPart) == 0) ++count;
  }
  return count;
}

// 1-based position of the first occurrence of part in text ignoring case; 0 when there
// is none or either is empty.
int findPosition(const std::string& text, const std::string& part) {
  if (text.empty() || part.empty() || part.size() > text.size()) return 0;
  const std::size_t at = toLowerText(text).find(toLowerText(part));
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

bool containsText(const std::string& text, const std::string& part) {
  return findPosition(text, part) != 0;
}

// The token of text that starts at position and ends before the next delimiter (or at
// the end), without leading and trailing spaces; position moves past that delimiter.
std::string nextToken(const std::string& text, char delimiter, std::size_t& position) {
  if (position > text.size()) position = text.size();
  std::size_t end = text.find(delimiter, position);
  if (end == std::string::npos) end = text.size();
  std::string token = text.substr(position, end - position);
  position = end < text.size() ? end + 1 : end;
  const std::size_t first = token.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return token.substr(first, token.find_last_not_of(' ') - first + 1);
}

bool startsWithIgnoringCase(const std::string& text, const std::string& part) {
  return part.size() <= text.size() &&
         toLowerText(text.substr(0, part.size())) == toLowerText(part);
}

bool endsWithIgnoringCase(const std::string& text, const std::string& part) {
  return part.size() <= text.size() &&
         toLowerText(text.substr(text.size() - part.size())) == toLowerText(part);
}

// The matcher on a base name. position receives where a contains-match found its text
// (1-based), 0 after any other outcome: the compound rule compares the positions of its
// two halves.
bool matchBaseName(const std::string& baseName, const std::string& pattern, int& position) {
  position = 0;
  if (baseName.empty()) return false;
  if (pattern.empty() || pattern == "*" || pattern == "*.*") return true;

  const bool leading = pattern.front() == '*';
  const bool trailing = pattern.back() == '*';
  const int innerStars = countOccurrences(pattern, "*") - (leading ? 1 : 0) - (trailing ? 1 : 0);

  if (innerStars == 0) {
    if (leading && trailing) {
      // '*X*': X anywhere in the name; an empty X matches nothing.
      const std::string text = pattern.substr(1, pattern.size() - 2);
      position = findPosition(baseName, text);
      return containsText(baseName, text);
    }
    if (trailing) return startsWithIgnoringCase(baseName, pattern.substr(0, pattern.size() - 1));
    if (leading) return endsWithIgnoringCase(baseName, pattern.substr(1));
    return toLowerText(baseName) == toLowerText(pattern);
  }
  if (innerStars != 1) return false;

  // One inner star: the halves on each side of it are matched on their own, each keeping
  // the star of its end, and both must match.
  std::string marked = pattern;
  if (leading) marked.front() = kEndStarMark;
  if (trailing) marked.back() = kEndStarMark;
  std::size_t cursor = 0;
  std::string left = nextToken(marked, '*', cursor);
  std::string right = nextToken(marked, '*', cursor);
  if (left.empty() || right.empty()) return false;
  for (char& c : left) {
    if (c == kEndStarMark) c = '*';
  }
  for (char& c : right) {
    if (c == kEndStarMark) c = '*';
  }
  left += '*';
  right.insert(0, 1, '*');

  int leftPosition = 0;
  int rightPosition = 0;
  const bool leftMatch = matchBaseName(baseName, left, leftPosition);
  const bool rightMatch = matchBaseName(baseName, right, rightPosition);
  position = rightPosition;
  // '*A*B*': A must be found no later than B.
  if (countOccurrences(left, "*") == 2 && countOccurrences(right, "*") == 2 &&
      leftPosition > rightPosition) {
    return false;
  }
  return leftMatch && rightMatch;
}

}  // namespace

bool matchSelection(const std::string& memberName, const std::string& pattern) {
  int position = 0;
  return matchBaseName(baseNameOf(memberName), pattern, position);
}

}  // namespace untgz
