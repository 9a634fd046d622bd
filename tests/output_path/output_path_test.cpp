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

TEST(MemberPathLength, LongNamesAreKeptWhole) {
  const std::string name = std::string(300, 'd') + "/" + std::string(300, 'f');
  std::string relative;
  ASSERT_EQ(untgz::memberPath(name, relative), MemberPath::ok);
  EXPECT_EQ(relative, std::string(300, 'd') + "\\" + std::string(300, 'f'));
}

}  // namespace
