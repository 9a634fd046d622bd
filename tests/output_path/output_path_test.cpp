// Output paths of members: every member lands under the destination folder.
#include "engine/tar/output_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using untgz::MemberPath;

struct Case {
  const char* name;
  MemberPath verdict;
  const char* relative;  // for MemberPath::ok
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << "name '" << c.name << "'"; }

class MemberPathOf : public testing::TestWithParam<Case> {};

TEST_P(MemberPathOf, StaysUnderTheRoot) {
  const Case& c = GetParam();
  std::string relative = "left over";
  EXPECT_EQ(untgz::memberPath(c.name, relative), c.verdict);
  EXPECT_EQ(relative, c.verdict == MemberPath::ok ? c.relative : "");
}

const Case kJoined[] = {
    {"a.txt", MemberPath::ok, "a.txt"},
    {"a/b.txt", MemberPath::ok, "a\\b.txt"},
    {"sub/dir/file.txt", MemberPath::ok, "sub\\dir\\file.txt"},
    {"sub\\file.txt", MemberPath::ok, "sub\\file.txt"},
    {"dir/", MemberPath::ok, "dir"},
    {"./a.txt", MemberPath::ok, "a.txt"},
    {"a//./b/", MemberPath::ok, "a\\b"},
    {"a..b/..c/d..", MemberPath::ok, "a..b\\..c\\d.."},
    {".hidden", MemberPath::ok, ".hidden"},
};
INSTANTIATE_TEST_SUITE_P(Joined, MemberPathOf, testing::ValuesIn(kJoined));

// Absolute names are taken as relative to the root instead of being written where they
// point.
const Case kAbsolute[] = {
    {"/etc/passwd", MemberPath::ok, "etc\\passwd"},
    {"\\windows\\x.dll", MemberPath::ok, "windows\\x.dll"},
    {"c:/temp/x.txt", MemberPath::ok, "temp\\x.txt"},
    {"D:\\temp\\x.txt", MemberPath::ok, "temp\\x.txt"},
    {"c:x.txt", MemberPath::ok, "x.txt"},
    {"\\\\server\\share\\x", MemberPath::ok, "server\\share\\x"},
    {"//server/share/x", MemberPath::ok, "server\\share\\x"},
    {"/c:/x", MemberPath::ok, "x"},
    {"c:c:/x", MemberPath::ok, "x"},
};
INSTANTIATE_TEST_SUITE_P(Absolute, MemberPathOf, testing::ValuesIn(kAbsolute));

// Names that would climb out of the root, or leave nothing to write, are refused.
const Case kRefused[] = {
    {"../x", MemberPath::climbsUp, nullptr},
    {"a/../../x", MemberPath::climbsUp, nullptr},
    {"a\\..\\x", MemberPath::climbsUp, nullptr},
    {"a/..", MemberPath::climbsUp, nullptr},
    {"..", MemberPath::climbsUp, nullptr},
    {"/../x", MemberPath::climbsUp, nullptr},
    {"c:..\\x", MemberPath::climbsUp, nullptr},
    {"a/.../x", MemberPath::climbsUp, nullptr},
    {"a/.. /x", MemberPath::climbsUp, nullptr},
    {"", MemberPath::empty, nullptr},
    {"/", MemberPath::empty, nullptr},
    {"./", MemberPath::empty, nullptr},
    {"c:/", MemberPath::empty, nullptr},
    {"\\\\", MemberPath::empty, nullptr},
};
INSTANTIATE_TEST_SUITE_P(Refused, MemberPathOf, testing::ValuesIn(kRefused));

// Under Windows' rules the characters it forbids in names become '_', as bsdtar writes them
// there, after the prefix and the upward steps have been judged; under the bytes rules
// (Linux) they stay. UTF-8 passes whole either way.
TEST(MemberPathRules, CharactersWindowsForbidsBecomeUnderscores) {
  struct Case {
    const char* name;
    MemberPath verdict;
    const char* windows;  // for MemberPath::ok
    const char* bytes;
  };
  const Case cases[] = {
      {"ab:c/d?e", MemberPath::ok, "ab_c\\d_e", "ab:c\\d?e"},
      {"x<y>z\"q\"|p*.txt", MemberPath::ok, "x_y_z_q__p_.txt", "x<y>z\"q\"|p*.txt"},
      {"tab\there\x01\x1f\x7f", MemberPath::ok, "tab_here__\x7f", "tab\there\x01\x1f\x7f"},
      {"c:/dd:e/f", MemberPath::ok, "dd_e\\f", "dd:e\\f"},  // only leading drives are dropped
      {"dir/caf\xC3\xA9:\xE6\xBC\xA2", MemberPath::ok, "dir\\caf\xC3\xA9_\xE6\xBC\xA2", "dir\\caf\xC3\xA9:\xE6\xBC\xA2"},
      {"a/..?/b", MemberPath::ok, "a\\.._\\b", "a\\..?\\b"},
      {"a/../b?", MemberPath::climbsUp, nullptr, nullptr},
      {"c:", MemberPath::empty, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string relative;
    EXPECT_EQ(untgz::memberPath(c.name, relative, untgz::NameRules::windows), c.verdict);
    EXPECT_EQ(relative, c.windows ? c.windows : "");
    EXPECT_EQ(untgz::memberPath(c.name, relative, untgz::NameRules::bytes), c.verdict);
    EXPECT_EQ(relative, c.bytes ? c.bytes : "");
  }
}

TEST(MemberPathLength, LongNamesAreKeptWhole) {
  const std::string name = std::string(300, 'd') + "/" + std::string(300, 'f');
  std::string relative;
  ASSERT_EQ(untgz::memberPath(name, relative), MemberPath::ok);
  EXPECT_EQ(relative, std::string(300, 'd') + "\\" + std::string(300, 'f'));
}

}  // namespace
