// Output paths of members: every member lands under the destination folder.
#include "tar/output_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* root;
  const char* name;
  const char* expected;  // nullptr: the member is skipped
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
  return out << "root '" << c.root << "' name '" << c.name << "'";
}

class BuildOutputPath : public testing::TestWithParam<Case> {};

TEST_P(BuildOutputPath, StaysUnderTheRoot) {
  const Case& c = GetParam();
  const auto path = untgz::buildOutputPath(c.root, c.name);
  if (c.expected == nullptr) {
    EXPECT_FALSE(path.has_value()) << path.value_or("");
  } else {
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(*path, c.expected);
  }
}

const Case kJoined[] = {
    {"c:\\out", "a.txt", "c:\\out\\a.txt"},
    {"c:\\out\\", "a.txt", "c:\\out\\a.txt"},
    {"c:\\", "a.txt", "c:\\a.txt"},
    {"\\\\server\\share\\out", "a/b.txt", "\\\\server\\share\\out\\a\\b.txt"},
    {"c:\\out", "sub/dir/file.txt", "c:\\out\\sub\\dir\\file.txt"},
    {"c:\\out", "sub\\file.txt", "c:\\out\\sub\\file.txt"},
    {"c:\\out", "dir/", "c:\\out\\dir\\"},
    {"c:\\out", "./a.txt", "c:\\out\\.\\a.txt"},
    {"c:\\out", "a..b/..c/d..", "c:\\out\\a..b\\..c\\d.."},
    {"c:\\out", ".hidden", "c:\\out\\.hidden"},
};
INSTANTIATE_TEST_SUITE_P(Joined, BuildOutputPath, testing::ValuesIn(kJoined));

// Absolute names are taken as relative to the root instead of being written where they
// point.
const Case kAbsolute[] = {
    {"c:\\out", "/etc/passwd", "c:\\out\\etc\\passwd"},
    {"c:\\out", "\\windows\\x.dll", "c:\\out\\windows\\x.dll"},
    {"c:\\out", "c:/temp/x.txt", "c:\\out\\temp\\x.txt"},
    {"c:\\out", "D:\\temp\\x.txt", "c:\\out\\temp\\x.txt"},
    {"c:\\out", "c:x.txt", "c:\\out\\x.txt"},
    {"c:\\out", "\\\\server\\share\\x", "c:\\out\\server\\share\\x"},
    {"c:\\out", "//server/share/x", "c:\\out\\server\\share\\x"},
    {"c:\\out", "/c:/x", "c:\\out\\x"},
    {"c:\\out", "c:c:/x", "c:\\out\\x"},
};
INSTANTIATE_TEST_SUITE_P(Absolute, BuildOutputPath, testing::ValuesIn(kAbsolute));

// Names that would climb out of the root, or leave nothing to write, are skipped.
const Case kSkipped[] = {
    {"c:\\out", "../x", nullptr},
    {"c:\\out", "a/../../x", nullptr},
    {"c:\\out", "a\\..\\x", nullptr},
    {"c:\\out", "a/..", nullptr},
    {"c:\\out", "..", nullptr},
    {"c:\\out", "/../x", nullptr},
    {"c:\\out", "c:..\\x", nullptr},
    {"c:\\out", "a/.../x", nullptr},
    {"c:\\out", "a/.. /x", nullptr},
    {"c:\\out", "", nullptr},
    {"c:\\out", "/", nullptr},
    {"c:\\out", "c:/", nullptr},
    {"c:\\out", "\\\\", nullptr},
    {"", "a.txt", nullptr},
};
INSTANTIATE_TEST_SUITE_P(Skipped, BuildOutputPath, testing::ValuesIn(kSkipped));

TEST(BuildOutputPathLength, LongNamesAreKeptWhole) {
  const std::string name = std::string(300, 'd') + "/" + std::string(300, 'f');
  const auto path = untgz::buildOutputPath("c:\\out", name);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, "c:\\out\\" + std::string(300, 'd') + "\\" + std::string(300, 'f'));
}

}  // namespace
