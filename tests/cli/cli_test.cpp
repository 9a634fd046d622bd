// zaxtar as a user runs it: what it prints, where, and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

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
  const struct {
    const char* arguments;
    const char* err;
  } cases[] = {
      {"list missing.tar", "zaxtar: 5 The input file or path is invalid\n"},
      {"list text.tar", "zaxtar: 36 The file don't appear to be a valid tar file\n"},
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
