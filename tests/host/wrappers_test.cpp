// Carrying command words and operands to interface1 and texts back: against a stand-in
// engine that answers with what it received, and against the real engine.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/utf8.h"
#include "host/ansi_text.h"
#include "tests/host/host_fixture.h"

using namespace hosttest;

namespace {

const std::wstring kBlankBuffer(300, L' ');

class ProbeEngine : public HostTest {
 protected:
  void SetUp() override {
    host = &makeHostWithImage(fileNextToTheProgram(ZAX_PROBE_ENGINE_FILE));
    host->Init(false);
    ASSERT_TRUE(host->IsLoaded());
  }
  zax::ZipClass* host = nullptr;
};

TEST_F(ProbeEngine, IntegerOperandsKeepTheirOrderAndSign) {
  EXPECT_EQ(host->CallWindowLONG(L"digits", 1, 2, 3), 123);
  EXPECT_EQ(host->CallWindowLONG(L"digits", -1, 0, 0), -100);
  EXPECT_EQ(host->CallWindowInt(L"digits", 7, 1, 2), 777) << "the first value, three times";
}

TEST_F(ProbeEngine, StringsArriveInTheCodePageWithOneNul) {
  EXPECT_EQ(host->CallWindow(L"length", L"", L" ", L" "), 0) << "an empty string is one NUL byte";
  EXPECT_EQ(host->CallWindow(L"length", L"abc", L"", L""), 3);
  const std::wstring accented = L"caf\u00e9";
  EXPECT_EQ(host->CallWindow(L"length", accented, L"", L""),
            static_cast<std::int32_t>(zax::toAnsi(accented).size()));
}

TEST_F(ProbeEngine, CallWindow2WritesAllThreeStringsBackCutAtTheirNul) {
  std::wstring word = L"scribble", buffer = kBlankBuffer, operand = L"";
  EXPECT_EQ(host->CallWindow2(word, buffer, operand, 0), 0);
  EXPECT_EQ(word, L"c1");
  EXPECT_EQ(buffer, L"o1");
  EXPECT_EQ(operand, L"o2");
}

TEST_F(ProbeEngine, CallWindow2BringsTextBackThroughTheCodePage) {
  std::wstring word = L"echo", buffer = kBlankBuffer, operand = L"na\u00efve text";
  EXPECT_EQ(host->CallWindow2(word, buffer, operand, 0), 0);
  EXPECT_EQ(buffer, zax::fromAnsi(zax::toAnsi(L"na\u00efve text")));
  EXPECT_EQ(word, L"echo");
  EXPECT_EQ(operand, L"na\u00efve text");
}

TEST_F(ProbeEngine, ShortBufferStillHoldsAFullEngineText) {
  const std::wstring longest(255, L'x');
  std::wstring word = L"echo", buffer = L"", operand = longest;
  EXPECT_EQ(host->CallWindow2(word, buffer, operand, 0), 0);
  EXPECT_EQ(buffer, longest);
}

TEST_F(ProbeEngine, UntouchedBufferComesBackAsItWent) {
  std::wstring word = L"unknown", buffer = kBlankBuffer, operand = L" ";
  EXPECT_EQ(host->CallWindow2(word, buffer, operand, 0), 0);
  EXPECT_EQ(word, L"unknown");
  EXPECT_EQ(buffer, kBlankBuffer);
  EXPECT_EQ(operand, L" ");
}

// The real engine, deployed from this program's own image.
class RealEngine : public HostTest {
 protected:
  void SetUp() override {
    host = &makeHost();
    host->Init(false);
    ASSERT_TRUE(host->IsLoaded());
  }

  std::wstring text(const wchar_t* command) {
    std::wstring word = command, buffer = kBlankBuffer, operand = L"";
    EXPECT_EQ(host->CallWindow2(word, buffer, operand, 0), 0) << command;
    EXPECT_EQ(word, command);
    return buffer;
  }

  std::int32_t number(const wchar_t* command, std::int32_t operand = 0) {
    return host->CallWindowLONG(command, operand, 0, 0);
  }

  zax::ZipClass* host = nullptr;
};

TEST_F(RealEngine, AnswersStatusAndIgnoresUnknownWords) {
  EXPECT_EQ(number(L"status"), 0);
  EXPECT_EQ(number(L"Status"), 0);
  EXPECT_EQ(text(L"Status"), kBlankBuffer) << "an unknown word writes nothing";
  EXPECT_EQ(text(L"status"), kBlankBuffer) << "a number command writes nothing";
  EXPECT_EQ(text(L"geterrorstring"), L"") << "just the NUL before any failed job";
}

TEST_F(RealEngine, ProcessorNameComesBackWithoutPadding) {
  const std::wstring vendor = text(L"getcpuname");
  EXPECT_TRUE(vendor.size() == 12 || vendor == L"Unavailable") << zax::toAnsi(vendor);
  const std::wstring brand = text(L"getbrandstring");
  EXPECT_FALSE(brand.empty());
  EXPECT_LE(brand.size(), 48u);
  EXPECT_EQ(brand.find(L'\0'), std::wstring::npos);
}

TEST_F(RealEngine, ListsAnArchiveThroughTheWrappersAlone) {
  const auto archive = zaxtest::TarBuilder()
                           .directory("docs/")
                           .file("docs/readme.txt", "hello")
                           .file("data.bin", std::string(1000, 'x'))
                           .end()
                           .bytes();
  zaxtest::writeFile(temp.nativeChild("listed.tar"), archive);

  ASSERT_EQ(number(L"status"), 0);
  EXPECT_EQ(number(L"setflaglist", 1), 0);
  EXPECT_EQ(host->CallWindow(L"zaxuntar", wide(temp.engineChild("listed.tar")), L"c:\\", L"*.*"), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (number(L"status") != 0) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the listing never ended";
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(number(L"getintret"), 0);

  std::vector<std::wstring> names;
  std::vector<std::int32_t> sizes, dirs;
  for (std::int32_t more = number(L"tarinfo"); more == 1; more = number(L"tarinfo2")) {
    names.push_back(text(L"tarinfofilename"));
    sizes.push_back(number(L"tarinfosize"));
    dirs.push_back(number(L"tarinfoisdir"));
  }
  EXPECT_EQ(names, (std::vector<std::wstring>{L"docs/", L"docs/readme.txt", L"data.bin"}));
  EXPECT_EQ(sizes, (std::vector<std::int32_t>{0, 5, 1000}));
  EXPECT_EQ(dirs, (std::vector<std::int32_t>{1, 0, 0}));
  EXPECT_EQ(number(L"getnumfiles"), 2);
  EXPECT_EQ(number(L"getnumdir"), 1);
  EXPECT_EQ(number(L"tarinfodelete"), 0);
}

// Through the UTF-8 words a path and names beyond any one code page cross whole both ways,
// and a name of 300 characters of three bytes each comes back whole; the ANSI word in the
// same process still hands out at most 255 characters.
TEST_F(RealEngine, PathsAndNamesOfEveryScriptCrossWhole) {
  std::string longest;
  for (int i = 0; i < 300; ++i) longest += "\xE5\x90\x8D";  // 名
  const std::string names[] = {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1/\xD1\x84.txt",  // Ελλάδα/ф.txt
                               "emoji-\xF0\x9F\x98\x80.txt", longest};
  zaxtest::TarBuilder archive;
  std::vector<std::wstring> expected;
  for (const std::string& name : names) {
    archive.pax({{"path", name}}).file("placeholder", name);
    expected.push_back(zax::fromUtf8(name));
  }
  const std::string folder = "\xD0\x90\xD1\x80\xD1\x85\xD0\xB8\xD0\xB2";  // Архив
  ASSERT_TRUE(zaxtest::makeFolder(temp.nativeChild(folder)));
  zaxtest::writeFile(temp.nativeChild(folder + "/a.tar"), archive.end().bytes());

  number(L"setflaglist", 1);
  EXPECT_EQ(host->CallWindowUtf8(L"zaxuntarutf8", zax::fromUtf8(temp.engineChild(folder + "/a.tar")), L"c:\\", L"*.*"), 0);
  while (number(L"status") != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(number(L"getintret"), 0);
  std::vector<std::wstring> listed;
  std::wstring classic;
  for (std::int32_t more = number(L"tarinfo"); more == 1; more = number(L"tarinfo2")) {
    std::wstring name;
    EXPECT_GT(host->CallWindowText(L"tarinfofilenameutf8", name, 0), 0);
    listed.push_back(name);
    classic = text(L"tarinfofilename");
  }
  number(L"tarinfodelete");
  EXPECT_EQ(listed, expected);
  EXPECT_LE(classic.size(), 255u);
}

}  // namespace
