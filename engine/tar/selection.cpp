#include "engine/tar/selection.h"

#include <cstddef>

#include "common/utf8.h"
#include "engine/tar/case_fold.h"

namespace untgz {

namespace {

// Names and patterns are matched character by character, not byte by byte, so that letter
// case is ignored beyond ASCII too ('*.TXT' selects 'Ä.txt', 'ü*' selects 'Über.md'). Bytes
// that are not UTF-8 (names kept as bytes on the native build) stand for themselves.
using Text = std::u32string;

// Stands in for a star at either end of a pattern while the inner star splits it. A
// selection arrives as a NUL-terminated string, so the mark can never be a character of
// the pattern itself (a visible character would turn the user's own into a wildcard).
const char32_t kEndStarMark = U'\0';

Text toLowerText(Text text) {
  for (char32_t& c : text) c = foldCase(c);
  return text;
}

// The part of a member name after its last "/" or backslash.
std::string baseNameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Number of places where part occurs in text, ignoring case.
int countOccurrences(const Text& text, const Text& part) {
  if (part.empty() || part.size() > text.size()) return 0;
  const Text lowText = toLowerText(text);
  const Text lowPart = toLowerText(part);
  int count = 0;
  for (std::size_t i = 0; i + lowPart.size() <= lowText.size(); ++i) {
    if (lowText.compare(i, lowPart.size(), lowPart) == 0) ++count;
  }
  return count;
}

// 1-based position of the first occurrence of part in text ignoring case; 0 when there
// is none or either is empty.
int findPosition(const Text& text, const Text& part) {
  if (text.empty() || part.empty() || part.size() > text.size()) return 0;
  const std::size_t at = toLowerText(text).find(toLowerText(part));
  return at == Text::npos ? 0 : static_cast<int>(at) + 1;
}

bool containsText(const Text& text, const Text& part) {
  return findPosition(text, part) != 0;
}

// The token of text that starts at position and ends before the next delimiter (or at
// the end), without leading and trailing spaces; position moves past that delimiter.
Text nextToken(const Text& text, char32_t delimiter, std::size_t& position) {
  if (position > text.size()) position = text.size();
  std::size_t end = text.find(delimiter, position);
  if (end == Text::npos) end = text.size();
  Text token = text.substr(position, end - position);
  position = end < text.size() ? end + 1 : end;
  const std::size_t first = token.find_first_not_of(U' ');
  if (first == Text::npos) return Text();
  return token.substr(first, token.find_last_not_of(U' ') - first + 1);
}

bool startsWithIgnoringCase(const Text& text, const Text& part) {
  return part.size() <= text.size() &&
         toLowerText(text.substr(0, part.size())) == toLowerText(part);
}

bool endsWithIgnoringCase(const Text& text, const Text& part) {
  return part.size() <= text.size() &&
         toLowerText(text.substr(text.size() - part.size())) == toLowerText(part);
}

// The matcher on a base name. position receives where a contains-match found its text
// (1-based), 0 after any other outcome: the compound rule compares the positions of its
// two halves.
bool matchBaseName(const Text& baseName, const Text& pattern, int& position) {
  position = 0;
  if (baseName.empty()) return false;
  if (pattern.empty() || pattern == U"*" || pattern == U"*.*") return true;

  const bool leading = pattern.front() == '*';
  const bool trailing = pattern.back() == '*';
  const int innerStars = countOccurrences(pattern, U"*") - (leading ? 1 : 0) - (trailing ? 1 : 0);

  if (innerStars == 0) {
    if (leading && trailing) {
      // '*X*': X anywhere in the name; an empty X matches nothing.
      const Text text = pattern.substr(1, pattern.size() - 2);
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
  Text marked = pattern;
  if (leading) marked.front() = kEndStarMark;
  if (trailing) marked.back() = kEndStarMark;
  std::size_t cursor = 0;
  Text left = nextToken(marked, U'*', cursor);
  Text right = nextToken(marked, U'*', cursor);
  if (left.empty() || right.empty()) return false;
  for (char32_t& c : left) {
    if (c == kEndStarMark) c = U'*';
  }
  for (char32_t& c : right) {
    if (c == kEndStarMark) c = U'*';
  }
  left += U'*';
  right.insert(0, 1, U'*');

  int leftPosition = 0;
  int rightPosition = 0;
  const bool leftMatch = matchBaseName(baseName, left, leftPosition);
  const bool rightMatch = matchBaseName(baseName, right, rightPosition);
  position = rightPosition;
  // '*A*B*': A must be found no later than B.
  if (countOccurrences(left, U"*") == 2 && countOccurrences(right, U"*") == 2 &&
      leftPosition > rightPosition) {
    return false;
  }
  return leftMatch && rightMatch;
}

}  // namespace

bool matchSelection(const std::string& memberName, const std::string& pattern) {
  int position = 0;
  return matchBaseName(zax::codePointsOf(baseNameOf(memberName)), zax::codePointsOf(pattern),
                       position);
}

}  // namespace untgz
