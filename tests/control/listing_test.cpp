// ZAXListTarFile: a synchronous job in listing mode, then a walk over the engine's entry
// list, one TarFileInformation per entry, then the outcome.
#include <string>

#include "tests/control/control_fixture.h"

namespace zax::testing {
namespace {

// The twelve commands that read one entry and step to the next.
const Words kEntryWords{L"tarinfoisdir",    L"tarinfosecond", L"tarinfominute", L"tarinfohour",
                        L"tarinfoyear",     L"tarinfomonth",  L"tarinfoday",
                        L"tarinfofilenameutf8", L"tarinfosize",   L"getnumdir",     L"getnumfiles",
                        L"tarinfo2"};

// The same for an entry whose size saturated: its whole size is read in two halves.
const Words kLargeEntryWords{L"tarinfoisdir",    L"tarinfosecond", L"tarinfominute", L"tarinfohour",
                             L"tarinfoyear",     L"tarinfomonth",  L"tarinfoday",
                             L"tarinfofilenameutf8", L"tarinfosize",   L"tarinfosizehigh",
                             L"tarinfosizelow",  L"getnumdir",     L"getnumfiles",
                             L"tarinfo2"};

Words concat(std::initializer_list<Words> parts) {
  Words all;
  for (const Words& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class ListingTest : public ControlTest {
 protected:
  // An archive of a directory and two files, in the engine's list order.
  void scriptThreeEntries() {
    engine.answer(L"status", {0, 1, 1, 0});
    engine.answer(L"tarinfo", {1});
    engine.answer(L"tarinfo2", {1, 1, 0});
    engine.answer(L"tarinfoisdir", {1, 0, 0});
    engine.answer(L"tarinfoyear", {2001, 2002, 2003});
    engine.answer(L"tarinfomonth", {1, 2, 12});
    engine.answer(L"tarinfoday", {31, 28, 1});
    engine.answer(L"tarinfohour", {0, 13, 23});
    engine.answer(L"tarinfominute", {0, 14, 59});
    engine.answer(L"tarinfosecond", {0, 15, 58});
    engine.answerText(L"tarinfofilenameutf8", {L"dir/", L"dir/a.txt", L" b c "});
    engine.answer(L"tarinfosize", {0, 10, 2147483647});
    engine.answer(L"getnumfiles", {2});
    engine.answer(L"getnumdir", {1});
  }
};

TEST_F(ListingTest, EntriesCarryTheirFieldsAndTheArchiveTotals) {
  scriptThreeEntries();
  control.ZAXListTarFile(L"Z:\\three.tar");
  EXPECT_EQ(sink.events, (Events{
                             L"TarFileInformation 1 2001-1-31 0:0:0 [dir/] 0 2 1",
                             L"TarFileInformation 0 2002-2-28 13:14:15 [dir/a.txt] 10 2 1",
                             L"TarFileInformation 0 2003-12-1 23:59:58 [ b c ] 2147483647 2 1",
                             L"ErrorCode 0 No error",
                         }));
  EXPECT_EQ(engine.words(),
            concat({{L"status", L"setflaglist", L"zaxuntarutf8", L"status", L"status", L"status",
                     L"tarinfo"},
                    kEntryWords, kEntryWords, kLargeEntryWords, {L"tarinfodelete", L"getintret", L"tarinfonamescut"}}));
  EXPECT_FALSE(timer.enabled());
  EXPECT_EQ(pump.rounds + pump.waits, 0);
}

// A listing whose names were kept cut, because long names together passed what the engine
// keeps, ends with an outcome that says so rather than with "No error".
TEST_F(ListingTest, NamesKeptCutEndTheListingWithAnOutcomeOfTheirOwn) {
  scriptThreeEntries();
  engine.answer(L"tarinfonamescut", {2});
  control.ZAXListTarFile(L"Z:\\three.tar");
  ASSERT_EQ(sink.events.size(), 4u);
  EXPECT_EQ(sink.events.back(),
            L"ErrorCode 62 The names of the archive are too long to be listed whole, names cut to 255 "
            L"characters: 2");
  EXPECT_EQ(control.GetLastError(), 62);
}

// The event's Size stops at 2147483647; a C++ host reads the whole size during the event.
TEST_F(ListingTest, WholeSizesOf2GiBAndMoreReachCppHosts) {
  struct Case {
    std::int32_t high, low;
    std::int64_t whole;
  };
  const Case cases[] = {{0, INT32_MIN, 2147483648LL}, {1, 0x40000000, 5368709120LL},
                        {0, 0, 2147483647}};  // an engine that does not know the words
  for (const Case& c : cases) {
    engine.answer(L"status", {0});
    engine.answer(L"tarinfo", {1});
    engine.answer(L"tarinfo2", {0});
    engine.answer(L"tarinfosize", {2147483647});
    engine.answer(L"tarinfosizehigh", {c.high});
    engine.answer(L"tarinfosizelow", {c.low});
    std::int64_t seen = -1;
    sink.handler = [&](const std::wstring&) { seen = control.EntrySize(); };
    control.ZAXListTarFile(L"Z:\\large.tar");
    EXPECT_EQ(seen, c.whole);
  }
}

TEST_F(ListingTest, CommandsUseTheListingOperands) {
  scriptThreeEntries();
  control.ZAXListTarFile(L"Z:\\three.tar");
  for (const auto& call : engine.calls()) {
    if (call.word == L"zaxuntarutf8") {
      EXPECT_EQ(call.wrapper, L"CallWindowUtf8");
      EXPECT_EQ(call.strings, (std::vector<std::wstring>{L"Z:\\three.tar", L"c:\\", L"*.*"}));
    } else if (call.word == L"tarinfofilenameutf8") {
      EXPECT_EQ(call.wrapper, L"CallWindowText");
      EXPECT_EQ(call.numbers, (std::vector<std::int32_t>{0}));
    } else {
      const std::int32_t first = call.word == L"setflaglist" ? 1 : 0;
      EXPECT_EQ(call.wrapper, L"CallWindowLONG") << call.word;
      EXPECT_EQ(call.numbers, (std::vector<std::int32_t>{first, 0, 0})) << call.word;
    }
  }
}

TEST_F(ListingTest, EmptyArchiveGivesOnlyTheOutcome) {
  control.ZAXListTarFile(L"empty.tar");
  EXPECT_EQ(sink.events, (Events{L"ErrorCode 0 No error"}));
  EXPECT_EQ(engine.words(), (Words{L"status", L"setflaglist", L"zaxuntarutf8", L"status", L"status",
                                   L"tarinfo", L"tarinfodelete", L"getintret", L"tarinfonamescut"}));
}

TEST_F(ListingTest, TheFirstStatusAfterTheStartIsNotLookedAt) {
  // 0 right after the start may mean "not started yet": one more query decides.
  engine.answer(L"status", {0, 0, 1, 0});
  control.ZAXListTarFile(L"a.tar");
  EXPECT_EQ(engine.words(), (Words{L"status", L"setflaglist", L"zaxuntarutf8", L"status", L"status",
                                   L"status", L"tarinfo", L"tarinfodelete", L"getintret", L"tarinfonamescut"}));
}

TEST_F(ListingTest, TruncatedArchiveReportsAfterItsEntries) {
  engine.answer(L"tarinfo", {1});
  engine.answerText(L"tarinfofilenameutf8", {L"only.txt"});
  engine.answer(L"getnumfiles", {1});
  engine.answer(L"getintret", {8});
  control.ZAXListTarFile(L"cut.tar");
  EXPECT_EQ(sink.events,
            (Events{L"TarFileInformation 0 0-0-0 0:0:0 [only.txt] 0 1 0",
                    L"ErrorCode 36 The file don't appear to be a valid tar file"}));
  EXPECT_EQ(control.GetLastError(), 36);
}

TEST_F(ListingTest, UnopenableArchiveGivesError5) {
  engine.answer(L"getintret", {5});
  control.ZAXListTarFile(L"gone.tar");
  EXPECT_EQ(sink.events, (Events{L"ErrorCode 5 The input file or path is invalid"}));
}

struct ListingRefusal {
  const char* name;
  std::wstring tarFile;
  bool readable;
  bool running;
  std::wstring event;
  Words words;
};

class ListingRefusals : public ListingTest, public ::testing::WithParamInterface<ListingRefusal> {};

TEST_P(ListingRefusals, EndTheCallAfterOneEvent) {
  const ListingRefusal& c = GetParam();
  engine.setInputFileReadable(c.readable);
  engine.answer(L"status", {c.running ? 1 : 0});
  control.ZAXListTarFile(c.tarFile);
  EXPECT_EQ(sink.events, Events{c.event});
  EXPECT_EQ(engine.words(), c.words);
}

const ListingRefusal kListingRefusals[] = {
    {"Empty", L"", false, true, L"ErrorCode 3 The input file is empty ", {}},
    {"Unreadable", L"a.tar", false, true, L"ErrorCode 5 The input file or path is invalid", {}},
    {"Running", L"a.tar", true, true,
     L"ErrorCode 31 Already running , wait for the end of execution before calling the "
     L"ZAXUncompress again",
     {L"status"}},
};

INSTANTIATE_TEST_SUITE_P(Control, ListingRefusals, ::testing::ValuesIn(kListingRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListingTest, ListingDuringAnExtractionLeavesItPolling) {
  engine.answer(L"status", {0, 1});
  control.ZAXUncompress(L"a.tar", L"out", L"*");
  control.ZAXListTarFile(L"b.tar");
  EXPECT_EQ(sink.events.back(),
            L"ErrorCode 31 Already running , wait for the end of execution before calling the "
            L"ZAXUncompress again");
  EXPECT_TRUE(timer.enabled());
}

TEST_F(ListingTest, HandlersCannotChangeTheEntries) {
  scriptThreeEntries();
  sink.scribble = true;
  control.ZAXListTarFile(L"three.tar");
  EXPECT_EQ(sink.events[1], L"TarFileInformation 0 2002-2-28 13:14:15 [dir/a.txt] 10 2 1");
  EXPECT_EQ(control.GetLastError(), 0);
}

}  // namespace
}  // namespace zax::testing
