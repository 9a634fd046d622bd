#include "engine/tar/selection.h"

#include <algorithm>
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

Text folded(Text text) {
  for (char32_t& c : text) c = foldCase(c);
  return text;
}

// The part of a member name after its last "/" or backslash.
std::string baseNameOf(const std::string& path) {
  const std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::size_t starsIn(const Text& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), U'*'));
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

}  // namespace

// The rules for a pattern with no inner star: every member, exact, prefix ('X*'), suffix
// ('*X') or contains ('*X*'; an empty X matches nothing).
Selection::Part Selection::compilePart(const Text& pattern) {
  Part part;
  if (pattern.empty() || pattern == U"*" || pattern == U"*.*") {
    part.kind = Part::Kind::all;
    part.twoStars = pattern == U"*.*";
    return part;
  }
  const bool leading = pattern.front() == U'*';
  const bool trailing = pattern.back() == U'*';
  part.twoStars = leading && trailing;
  if (leading && trailing) {
    part.kind = Part::Kind::contains;
    part.text = folded(pattern.substr(1, pattern.size() - 2));
  } else if (trailing) {
    part.kind = Part::Kind::prefix;
    part.text = folded(pattern.substr(0, pattern.size() - 1));
  } else if (leading) {
    part.kind = Part::Kind::suffix;
    part.text = folded(pattern.substr(1));
  } else {
    part.kind = Part::Kind::exact;
    part.text = folded(pattern);
  }
  return part;
}

Selection::Selection(const std::string& selection) {
  const Text pattern = zax::codePointsOf(selection);
  if (pattern.empty() || pattern == U"*" || pattern == U"*.*") {
    first_ = compilePart(pattern);
    return;
  }
  const bool leading = pattern.front() == U'*';
  const bool trailing = pattern.back() == U'*';
  const std::size_t stars = starsIn(pattern);
  const std::size_t innerStars = stars - (leading ? 1 : 0) - (trailing ? 1 : 0);
  if (innerStars == 0) {
    first_ = compilePart(pattern);
    return;
  }
  if (innerStars != 1) return;  // first_ matches nothing

  // One inner star: the halves on each side of it are matched on their own, each keeping
  // the star of its end, and both must match.
  Text marked = pattern;
  if (leading) marked.front() = kEndStarMark;
  if (trailing) marked.back() = kEndStarMark;
  std::size_t cursor = 0;
  Text left = nextToken(marked, U'*', cursor);
  Text right = nextToken(marked, U'*', cursor);
  if (left.empty() || right.empty()) return;
  std::replace(left.begin(), left.end(), kEndStarMark, U'*');
  std::replace(right.begin(), right.end(), kEndStarMark, U'*');
  compound_ = true;
  first_ = compilePart(left + U'*');
  second_ = compilePart(U'*' + right);
}

bool Selection::matchPart(const Part& part, const Text& baseName, std::size_t& position) {
  position = 0;
  const Text& text = part.text;
  switch (part.kind) {
    case Part::Kind::all:
      return true;
    case Part::Kind::none:
      return false;
    case Part::Kind::exact:
      return baseName == text;
    case Part::Kind::prefix:
      return text.size() <= baseName.size() && baseName.compare(0, text.size(), text) == 0;
    case Part::Kind::suffix:
      return text.size() <= baseName.size() &&
             baseName.compare(baseName.size() - text.size(), text.size(), text) == 0;
    case Part::Kind::contains: {
      if (text.empty()) return false;
      const std::size_t at = baseName.find(text);
      if (at == Text::npos) return false;
      position = at + 1;
      return true;
    }
  }
  return false;
}

bool Selection::matches(const std::string& memberName) const {
  const std::string base = baseNameOf(memberName);
  if (base.empty()) return false;
  if (!compound_ && first_.kind == Part::Kind::all) return true;
  const Text baseName = folded(zax::codePointsOf(base));
  std::size_t firstPosition = 0;
  const bool firstMatch = matchPart(first_, baseName, firstPosition);
  if (!compound_) return firstMatch;
  std::size_t secondPosition = 0;
  const bool secondMatch = matchPart(second_, baseName, secondPosition);
  // '*A*B*': A must be found no later than B.
  if (first_.twoStars && second_.twoStars && firstPosition > secondPosition) return false;
  return firstMatch && secondMatch;
}

bool matchSelection(const std::string& memberName, const std::string& pattern) {
  return Selection(pattern).matches(memberName);
}

}  // namespace untgz
