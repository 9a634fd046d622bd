// zaxtar as a user runs it: what it prints, where, and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
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
  // Runs zaxtar with the arguments (already quoted for the shell) in the scratch folder,
  // through `shell`'s command line, where {} stands for zaxtar and its arguments
  // (redirections of its own included).
  Result zaxtarIn(const std::string& shell, const std::string& arguments, const std::string& out) {
    const std::string err = folder.nativeChild("stderr");
    std::string line = shell;
    line.replace(line.find("{}"), 2, "'" ZAXTAR_PROGRAM "' " + arguments);
    const std::string command = "cd '" + folder.native() + "' && " + line + " 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    Result run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (!out.empty()) zaxtest::readFile(out, run.out);
    zaxtest::readFile(err, run.err);
    return run;
  }

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
      // Bytes that are not UTF-8, each its own escape: two such names stay two names.
      {"latin1 \xff", "latin1 \\377"},
      {"latin1 \xfe", "latin1 \\376"},
      {"cut \xc3 and \xe2\x98", "cut \\303 and \\342\\230"},
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
  EXPECT_TRUE(endsWith(run.out, "\n0 directories, 11 files\n0 No error\n")) << run.out;
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

TEST_F(ZaxtarTest, OutputThatCannotBeWrittenEndsTheRunWithAMessage) {
  writeArchive("a.tgz");
  const struct {
    const char* redirection;
    const char* why;
  } cases[] = {{">/dev/full", "No space left on device"}, {">&-", "Bad file descriptor"}};
  for (const auto& c : cases) {
    const Result run = zaxtarIn(std::string("{} ") + c.redirection, "list a.tgz", "");
    EXPECT_EQ(run.status, 1) << c.redirection;
    EXPECT_EQ(run.err, std::string("zaxtar: standard output: write error: ") + c.why + "\n")
        << c.redirection;
  }
  // With standard output closed, nothing the program opens takes its place: the archive is
  // read, not written to.
  std::string bytes;
  ASSERT_TRUE(zaxtest::readFile(folder.nativeChild("a.tgz"), bytes));
  EXPECT_EQ(bytes.substr(0, 2), "\x1f\x8b");
}

TEST_F(ZaxtarTest, SizesOf2GiBAndMoreArePrintedWhole) {
  // Sparse members: the archive stays small whatever size its files have.
  // The last is the largest an old GNU header's octal field holds.
  const std::int64_t sizes[] = {2147483647LL, 2147483648LL, 3LL << 30, 8589934591LL};
  zaxtest::TarBuilder tar;
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    tar.oldSparse("big" + std::to_string(i), sizes[i], {{0, 5}}, "hello");
  }
  zaxtest::writeFile(folder.nativeChild("big.tar"), tar.end().bytes());
  const Result run = zaxtar("list big.tar");
  EXPECT_EQ(run.status, 0) << run.err;
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "file %12lld  ", static_cast<long long>(sizes[i]));
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
}

TEST_F(ZaxtarTest, ASelectionThatMatchesNothingIsSaidSo) {
  writeArchive("a.tgz");
  Result run = zaxtar("extract a.tgz out 'nothing*'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "zaxtar: nothing*: no file of the archive matches the selection\n");
  // A selection that matches, and no selection at all, say nothing.
  for (const char* arguments : {"extract a.tgz out '*.log'", "extract a.tgz out2"}) {
    run = zaxtar(arguments);
    EXPECT_EQ(run.status, 0) << arguments;
    EXPECT_EQ(run.err, "") << arguments;
  }
}

TEST_F(ZaxtarTest, EveryUserRunsItWithAnEngineOfTheirOwn) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as a second user";
  writeArchive("a.tgz");
  fs::permissions(folder.native(), fs::perms::all);
  fs::permissions(folder.nativeChild("a.tgz"), fs::perms::all);
  // Without TMPDIR each user deploys under /tmp in a folder of their own, so that the first
  // user to run it does not lock the others out.
  const std::string out = folder.nativeChild("listing");
  for (const char* as : {"env -u TMPDIR {}", "env -u TMPDIR setpriv --reuid=65534 --regid=65534 --clear-groups {}"}) {
    const Result run = zaxtarIn(std::string(as) + " >'" + out + "'", "list a.tgz", out);
    EXPECT_EQ(run.status, 0) << as << "\n" << run.err;
    EXPECT_TRUE(endsWith(run.out, "0 No error\n")) << as << "\n" << run.out;
  }
  // A deployment folder that another user owns is refused, and the message says why.
  fs::create_directories(folder.nativeChild("tmp/ZAXSoftware"));
  fs::permissions(folder.nativeChild("tmp/ZAXSoftware"), fs::perms::owner_all, fs::perm_options::replace);
  ASSERT_EQ(::chown(folder.nativeChild("tmp/ZAXSoftware").c_str(), 65534, 65534), 0);
  const Result run = zaxtarIn("TMPDIR='" + folder.nativeChild("tmp") + "' {}", "list a.tgz", "");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("zaxtar: 70 Unable to create the destination folder"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("ZAXSoftware\\: it belongs to another user (uid 65534)"), std::string::npos) << run.err;
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
