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
    {"", MemberPath::empty, nullptr},
    {"/", MemberPath::empty, nullptr},
    {"./", MemberPath::empty, nullptr},
    {"c:/", MemberPath::empty, nullptr},
    {"\\\\", MemberPath::empty, nullptr},
};
INSTANTIATE_TEST_SUITE_P(Refused, MemberPathOf, testing::ValuesIn(kRefused));

// Under Windows' rules every component is mapped one way to a name Windows holds as it is:
// the characters it forbids become '_' (as bsdtar writes them there; ':' so never names a
// drive or a stream), device names get a '_' in front, trailing dots and spaces become
// '_'. Under the bytes rules (Linux) names stay as they are, a leading drive is dropped and
// only ".." climbs. UTF-8 passes whole either way.
TEST(MemberPathRules, WindowsMapsNamesItCannotHoldAndLinuxKeepsTheBytes) {
  struct Case {
    const char* name;
    MemberPath windowsVerdict;
    const char* windows;  // for MemberPath::ok
    MemberPath bytesVerdict;
    const char* bytes;
  };
  constexpr MemberPath ok = MemberPath::ok, up = MemberPath::climbsUp, empty = MemberPath::empty;
  const Case cases[] = {
      {"ab:c/d?e", ok, "ab_c\\d_e", ok, "ab:c\\d?e"},
      {"x<y>z\"q\"|p*.txt", ok, "x_y_z_q__p_.txt", ok, "x<y>z\"q\"|p*.txt"},
      {"tab\there\x01\x1f\x7f", ok, "tab_here__\x7f", ok, "tab\there\x01\x1f\x7f"},
      {"c:/dd:e/f", ok, "c_\\dd_e\\f", ok, "dd:e\\f"},
      {"f:s", ok, "f_s", ok, "s"},
      {"c:", ok, "c_", empty, nullptr},
      {"/C:\\x", ok, "C_\\x", ok, "x"},
      {"dir/caf\xC3\xA9:\xE6\xBC\xA2", ok, "dir\\caf\xC3\xA9_\xE6\xBC\xA2", ok, "dir\\caf\xC3\xA9:\xE6\xBC\xA2"},
      {"a/..?/b", ok, "a\\.._\\b", ok, "a\\..?\\b"},
      {"a/../b?", up, nullptr, up, nullptr},
      // Devices, in any case, with or without extensions.
      {"NUL", ok, "_NUL", ok, "NUL"},
      {"con.txt", ok, "_con.txt", ok, "con.txt"},
      {"d/nul.tar.gz", ok, "d\\_nul.tar.gz", ok, "d\\nul.tar.gz"},
      {"Com1", ok, "_Com1", ok, "Com1"},
      {"lpt9.log", ok, "_lpt9.log", ok, "lpt9.log"},
      {"COM0", ok, "_COM0", ok, "COM0"},
      {"LPT\xC2\xB9", ok, "_LPT\xC2\xB9", ok, "LPT\xC2\xB9"},
      {"CONIN$", ok, "_CONIN$", ok, "CONIN$"},
      {"conout$.x", ok, "_conout$.x", ok, "conout$.x"},
      {"aux .txt", ok, "_aux .txt", ok, "aux .txt"},
      {"NUL.", ok, "_NUL_", ok, "NUL."},
      {"prn/x", ok, "_prn\\x", ok, "prn\\x"},
      {"COM10", ok, "COM10", ok, "COM10"},
      {"NULL", ok, "NULL", ok, "NULL"},
      {"xcon", ok, "xcon", ok, "xcon"},
      // Trailing dots and spaces, which Windows would drop.
      {"a.", ok, "a_", ok, "a."},
      {"dup ", ok, "dup_", ok, "dup "},
      {"d. ./f", ok, "d___\\f", ok, "d. .\\f"},
      // Names of dots only: ordinary names on Linux, upward steps to Windows.
      {"...", up, nullptr, ok, "..."},
      {"a/.../x", up, nullptr, ok, "a\\...\\x"},
      {"a/.. /x", up, nullptr, ok, "a\\.. \\x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string relative;
    EXPECT_EQ(untgz::memberPath(c.name, relative, untgz::NameRules::windows), c.windowsVerdict);
    EXPECT_EQ(relative, c.windows ? c.windows : "");
    EXPECT_EQ(untgz::memberPath(c.name, relative, untgz::NameRules::bytes), c.bytesVerdict);
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
