// zaxtar as a user runs it: what it prints, where, and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

class ZaxtarTest : public ::testing::Test {
 protected:
  // Runs zaxtar with the arguments (already quoted for the shell) in the scratch folder.
  Result zaxtar(const std::string& arguments) {
    const std::string out = folder.nativeChild("stdout"), err = folder.nativeChild("stderr");
    const std::string command = "cd '" + folder.native() + "' && '" ZAXTAR_PROGRAM "' " +
                                arguments + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    Result run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    zaxtest::readFile(out, run.out);
    zaxtest::readFile(err, run.err);
    return run;
  }

  void writeArchive(const std::string& name) {
    zaxtest::writeFile(folder.nativeChild(name),
                       zaxtest::gzipCompress(zaxtest::TarBuilder()
                                                 .directory("docs/")
                                                 .file("docs/notes.txt", "hello\n")
                                                 .file("run.log", "x")
                                                 .end()
                                                 .bytes()));
  }

  static bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
  }

  zaxtest::TempFolder folder;
};

TEST_F(ZaxtarTest, ListPrintsEntriesTotalsAndOutcome) {
  writeArchive("a.tgz");
  const Result run = zaxtar("list a.tgz");  // a relative path, taken from the working folder
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("dir             0  2004-06-0"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  docs/\n"), std::string::npos);
  EXPECT_NE(run.out.find("file            6  2004-06-0"), std::string::npos);
  EXPECT_NE(run.out.find("  docs/notes.txt\n"), std::string::npos);
  EXPECT_TRUE(endsWith(run.out, "  run.log\n1 directories, 2 files\n0 No error\n")) << run.out;
  EXPECT_EQ(run.err, "");
}

TEST_F(ZaxtarTest, ExtractWithASelectionPrintsPlainProgressWhenNotATerminal) {
  writeArchive("a.tgz");
  const Result run = zaxtar("extract a.tgz 'new dir/out' '*.TXT'");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("progress 0\n", 0), 0u) << run.out;
  EXPECT_TRUE(endsWith(run.out, "progress 100\n0 No error\n")) << run.out;
  std::string text;
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("new dir/out/docs/notes.txt"), text));
  EXPECT_EQ(text, "hello\n");
  EXPECT_FALSE(fs::exists(folder.nativeChild("new dir/out/run.log")));
}

TEST_F(ZaxtarTest, FailedOutcomesGoToStandardErrorWithTheirNumber) {
  zaxtest::writeFile(folder.nativeChild("text.tar"), std::string(3000, 'z'));
  zaxtest::writeFile(folder.nativeChild("afile"), std::string("x"));
  writeArchive("a.tgz");
  std::string compressed;
  zaxtest::readFile(folder.nativeChild("a.tgz"), compressed);
  compressed[compressed.size() - 6] ^= 0x55;  // the stored CRC
  zaxtest::writeFile(folder.nativeChild("damaged.tgz"), compressed);
  const struct {
    const char* arguments;
    const char* err;
  } cases[] = {
      {"list missing.tar", "zaxtar: 5 The input file or path is invalid\n"},
      {"list text.tar", "zaxtar: 36 The file don't appear to be a valid tar file\n"},
      {"list damaged.tgz", "zaxtar: 38 The compressed data of the file is damaged or incomplete\n"},
      {"extract a.tgz out ''", "zaxtar: 34 The files selection is empty\n"},
      {"extract a.tgz afile",
       "zaxtar: 43 The path is a file , thus it cannot be created in the destination as a "
       "path\n"},
  };
  for (const auto& c : cases) {
    const Result run = zaxtar(c.arguments);
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_EQ(run.err, c.err) << c.arguments;
  }
}

TEST_F(ZaxtarTest, EachMemberLeftOutIsNamedOnStandardErrorWithItsReason) {
  zaxtest::writeFile(folder.nativeChild("a.tar"), zaxtest::TarBuilder()
                                                      .file("../up.txt", "u")
                                                      .file("in\nside/../../x", "x")
                                                      .file("fine.txt", "f")
                                                      .file("d", "blocked by a folder")
                                                      .end()
                                                      .bytes());
  fs::create_directories(folder.nativeChild("out/d"));
  const Result run = zaxtar("extract a.tar out");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "zaxtar: ../up.txt: not extracted: its name leads out of the destination folder\n"
            "zaxtar: in\\nside/../../x: not extracted: its name leads out of the destination folder\n"
            "zaxtar: d: not extracted: a folder stands where the file must be\n"
            "zaxtar: 39 Some files of the archive could not be extracted, files not extracted: 3\n");
  std::string text;
  EXPECT_TRUE(zaxtest::readFile(folder.nativeChild("out/fine.txt"), text));
}

TEST_F(ZaxtarTest, ListEscapesControlCharactersInNamesAsGnuTarDoes) {
  const struct {
    const char* stored;
    const char* shown;
  } names[] = {
      {"forged\nfile            1  2004-06-01 12:00:00  x", "forged\\nfile            1  2004-06-01 12:00:00  x"},
      {"tab\there\r", "tab\\there\\r"},
      {"back\\slash", "back\\\\slash"},
      {"\033[31mred\033[0m", "\\033[31mred\\033[0m"},
      {"del\177 bell\a", "del\\177 bell\\a"},
      {"c1 \xc2\x9b" "2J", "c1 \\302\\2332J"},          // U+009B, a CSI on some terminals
      {"line\xe2\x80\xa8sep", "line\\342\\200\\250sep"},  // U+2028
      {"caf\xc3\xa9 \xe2\x98\x83", "caf\xc3\xa9 \xe2\x98\x83"},  // printable: kept
  };
  zaxtest::TarBuilder tar;
  for (const auto& name : names) tar.file(name.stored, "");
  zaxtest::writeFile(folder.nativeChild("names.tar"), tar.end().bytes());
  const Result run = zaxtar("list names.tar");
  EXPECT_EQ(run.status, 0) << run.err;
  std::string expected;
  for (const auto& name : names) expected += std::string("file            0  2004-06-0  ") + name.shown + "\n";
  // The times are local; compare the lines without the day and the time.
  std::string shown;
  for (std::size_t start = 0; start < run.out.size();) {
    const std::size_t end = run.out.find('\n', start);
    const std::string line = run.out.substr(start, end - start);
    if (line.rfind("file ", 0) == 0) shown += line.substr(0, 28) + line.substr(38) + "\n";
    start = end == std::string::npos ? run.out.size() : end + 1;
  }
  EXPECT_EQ(shown, expected) << run.out;
  EXPECT_TRUE(endsWith(run.out, "\n0 directories, 8 files\n0 No error\n")) << run.out;
}

TEST_F(ZaxtarTest, PathsAndSelectionsThatWouldChangeOnTheWayAreRefused) {
  writeArchive("a.tgz");
  const struct {
    const char* arguments;
    const char* err;
  } cases[] = {
      // On the engine's side 'x\..\landed' would climb out of x: refused, not mapped.
      {"extract a.tgz 'x\\..\\landed'",
       "zaxtar: the path of the destination holds a backslash, which the engine would take as "
       "a folder separator\n"},
      {"extract a.tgz \"$(printf 'out\\377')\"", "zaxtar: the path of the destination holds bytes that are not UTF-8\n"},
      {"extract a.tgz out \"$(printf '*\\303')\"", "zaxtar: the selection holds bytes that are not UTF-8\n"},
      {"list 'docs\\a.tgz'",
       "zaxtar: the path of the archive holds a backslash, which the engine would take as a "
       "folder separator\n"},
      {"extract \"$(printf 'a\\355\\240\\200.tgz')\" out", "zaxtar: the path of the archive holds bytes that are not UTF-8\n"},
  };
  for (const auto& c : cases) {
    const Result run = zaxtar(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments;
    EXPECT_EQ(run.err, c.err) << c.arguments;
    EXPECT_EQ(run.out, "") << c.arguments;
  }
  // Nothing was made, neither where the engine would have put it nor anywhere else.
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder.native())) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.tgz", "stderr", "stdout"}));
}

TEST_F(ZaxtarTest, CommandLineErrorsAndHelp) {
  for (const char* arguments : {"", "list", "extract a.tgz", "bogus", "list a b"}) {
    const Result run = zaxtar(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.err.rfind("usage: zaxtar", 0), 0u) << arguments;
  }
  const Result help = zaxtar("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("SELECTION"), std::string::npos);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

TEST_F(ZaxtarTest, CpuAndAbout) {
  const Result cpu = zaxtar("cpu");
  EXPECT_EQ(cpu.status, 0) << cpu.err;
  EXPECT_EQ(cpu.out.rfind("speed:  ", 0), 0u) << cpu.out;
  EXPECT_NE(cpu.out.find("\nvendor: "), std::string::npos);
  EXPECT_NE(cpu.out.find("\nbrand:  "), std::string::npos);
  const Result about = zaxtar("about");
  EXPECT_EQ(about.status, 0);
  EXPECT_EQ(about.out.rfind("ZAXTarGzip\n", 0), 0u) << about.out;
}

}  // namespace
