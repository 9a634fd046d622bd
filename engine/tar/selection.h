// Member selection: whether an archive member is one the user asked to extract.
#pragma once

#include <string>

namespace untgz {

// A selection pattern, compiled once for a job: decoded, case-folded and cut into its
// parts, so that each member costs one pass over its base name (the part after its last
// "/" or backslash), without recursion. A member matches when its base name matches the
// pattern, ignoring letter case. "*" is the only wildcard: a pattern may hold one at its
// start, one at its end and one inside; a pattern with more never matches. An empty
// pattern, "*" and "*.*" select every member with a base name.
class Selection {
 public:
  explicit Selection(const std::string& pattern);

  bool matches(const std::string& memberName) const;

 private:
  // A pattern without an inner star.
  struct Part {
    enum class Kind { all, none, exact, prefix, suffix, contains } kind = Kind::none;
    std::u32string text;    // folded
    bool twoStars = false;  // a star at both ends ('*X*', and '*.*' and '**' too)
  };
  // position: where a contains-match found its text (1-based), else 0.
  static bool matchPart(const Part& part, const std::u32string& baseName, std::size_t& position);
  static Part compilePart(const std::u32string& pattern);

  bool compound_ = false;  // one inner star: both parts must match
  Part first_;             // the whole pattern, or the part before the inner star
  Part second_;            // the part after the inner star
};

// One member against one pattern (compiles the pattern each time; for tests and one-offs).
bool matchSelection(const std::string& memberName, const std::string& pattern);

}  // namespace untgz
