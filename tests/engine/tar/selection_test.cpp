// Selection patterns against member names: which members an extraction writes.
#include "engine/tar/selection.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* pattern;
  const char* name;
  bool selected;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
  return out << "pattern '" << c.pattern << "' name '" << c.name << "'";
}

class MatchSelection : public testing::TestWithParam<Case> {};

TEST_P(MatchSelection, DecidesOnTheBaseName) {
  const Case& c = GetParam();
  EXPECT_EQ(untgz::matchSelection(c.name, c.pattern), c.selected);
}

// Everything-patterns, and names without a base name.
const Case kCatchAll[] = {
    {"", "a/b.txt", true},
    {"*", "noext", true},
    {"*.*", "noext", true},
    {"*.*", "dir/a.b", true},
    {"", "dir/", false},
    {"*", "dir/", false},
    {"*.*", "", false},
    {"*", "dir\\", false},
    {"**", "anything", false},
};
INSTANTIATE_TEST_SUITE_P(CatchAll, MatchSelection, testing::ValuesIn(kCatchAll));

// Exact, prefix, suffix and contains patterns, case ignored, folders never looked at.
const Case kSimple[] = {
    {"README", "docs/readme", true},
    {"README", "Readme", true},
    {"README", "README.txt", false},
    {"README", "READM", false},
    {"readme", "readme/x", false},
    {"dir/file.txt", "dir/file.txt", false},
    {"file.txt", "dir\\file.txt", true},
    {"*.TXT", "a/b/notes.txt", true},
    {"*.txt", "txt", false},
    {"*.txt", "notes.txt.gz", false},
    {"notes*", "notes.txt", true},
    {"notes*", "NOTES", true},
    {"notes*", "note", false},
    {"notes*", "my-notes", false},
    {"*otes*", "notes.txt", true},
    {"*otes*", "otes", true},
    {"*otes*", "note", false},
    {"*.t?t", "a.t?t", true},
    {"*.t?t", "a.txt", false},
    {"*b*", "bin/a", false},
};
INSTANTIATE_TEST_SUITE_P(Simple, MatchSelection, testing::ValuesIn(kSimple));

// One star inside: each half is matched on its own.
const Case kCompound[] = {
    {"a*z", "abcz", true},
    {"a*z", "az", true},
    {"a*z", "abc", false},
    {"a*z", "bcz", false},
    {"ab*b", "ab", true},  // the halves may overlap
    {"a * z", "az", true},  // spaces around the inner star are dropped
    {"*a*z", "xaxz", true},
    {"*a*z", "xaxzx", false},
    {"a*z*", "abzc", true},
    {"a*z*", "babzc", false},
    {"*a*z*", "xaxzx", true},
    {"*a*z*", "za", false},  // first 'a' found after the first 'z'
    {"*a*z*", "aza", true},
    {"*b*a*", "bab", true},
    {"*b*a*", "ab", false},
    {"*.*z", "a.z", true},  // left half "*.*" selects everything
    {"*.*z", "az", true},
    {"*.*z", "a.y", false},
    {"**z", "az", false},  // an empty half never matches
    {"a**", "ab", false},
    {"***", "abc", false},
};
INSTANTIATE_TEST_SUITE_P(Compound, MatchSelection, testing::ValuesIn(kCompound));

// More stars than one inside never match.
const Case kTooManyStars[] = {
    {"a*b*c", "abc", false},
    {"a*b*c", "axbxc", false},
    {"*a*b*c", "abc", false},
    {"*a*b*c*", "abc", false},
    {"a*b*c*", "abc", false},
};
INSTANTIATE_TEST_SUITE_P(TooManyStars, MatchSelection, testing::ValuesIn(kTooManyStars));

// A vertical bar is an ordinary character, not a star: names from archives made on
// other systems may hold one.
const Case kOrdinaryBar[] = {
    {"a|*b", "a|xb", true},
    {"a|*b", "axb", false},
    {"*|*x*", "a|bx", true},
    {"*|*x*", "abx", false},
};
INSTANTIATE_TEST_SUITE_P(OrdinaryBar, MatchSelection, testing::ValuesIn(kOrdinaryBar));

// Letter case is ignored beyond ASCII too: names and patterns are UTF-8, matched character by
// character, so that a star never stands for half a character.
const Case kBeyondAscii[] = {
    {"*.TXT", "docs/\xC3\x84.txt", true},                         // Ä.txt
    {"\xC3\xBC*", "\xC3\x9C" "ber.md", true},                      // ü* selects Über.md
    {"\xC3\x9C*", "\xC3\xBC" "ber.md", true},                      // Ü* selects über.md
    {"*\xD0\xA4\xD0\x90\xD0\x99\xD0\x9B*", "\xD0\xBC\xD0\xBE\xD0\xB9-\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.doc", true},  // *ФАЙЛ* selects мой-файл.doc
    {"\xCE\xA3*", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xAF\xCE\xB1", true},       // Σ* selects σοφία
    {"*\xCE\xA3", "\xCE\xBA\xCF\x8C\xCF\x83\xCE\xBC\xCE\xBF\xCF\x82", true},  // *Σ selects κόσμος (final sigma)
    {"*.txt", "\xE6\xBC\xA2\xE5\xAD\x97.TXT", true},              // 漢字.TXT
    {"\xE6\xBC\xA2*", "\xE5\xAD\x97.txt", false},                 // 漢* does not select 字.txt
    {"a*\xF0\x9F\x98\x80", "abc\xF0\x9F\x98\x80", true},          // an emoji, outside the BMP
    {"\xC3\xA4", "\xC3\xA5", false},                                // ä is not å
    {"*\xA4*", "\xC3\xA4", false},                                  // no match inside a character
    {"caf\xE9*", "CAF\xE9.txt", true},                             // bytes that are not UTF-8 match themselves
    {"caf\xE9*", "caf\xC9.txt", false},                            // and only themselves
};
INSTANTIATE_TEST_SUITE_P(BeyondAscii, MatchSelection, testing::ValuesIn(kBeyondAscii));

TEST(MatchSelectionLength, LongNamesAndPatternsAreMatchedWhole) {
  const std::string stem(400, 'x');
  EXPECT_TRUE(untgz::matchSelection("dir/" + stem + ".txt", "*.txt"));
  EXPECT_TRUE(untgz::matchSelection(stem + "y", stem + "*"));
  EXPECT_FALSE(untgz::matchSelection(stem, stem + "y*"));
  EXPECT_TRUE(untgz::matchSelection("a" + stem + "z", "a*" + stem + "z"));
}

}  // namespace
