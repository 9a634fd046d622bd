// The control's error table, the reports of job results, GetLastError, and the members
// that need no job: processor texts, About, the folder browser, the end of life.
#include <string>

#include "control/error_table.h"
#include "tests/control/control_fixture.h"

namespace zax::testing {
namespace {

TEST(ControlErrorTable, NumbersAndTextsAreExact) {
  struct Row {
    std::int32_t asked;
    std::int32_t number;
    std::wstring text;
  };
  // A few rows where a slip is easy (trailing blanks, the blank before a comma, the
  // number a missing row is reported as); the result mapping below and the COM tests pin
  // the texts the reports carry end to end.
  const Row rows[] = {
      {0, 0, L"No error"},
      {3, 3, L"The input file is empty "},
      {31, 31,
       L"Already running , wait for the end of execution before calling the ZAXUncompress again"},
      {39, 39, L"Some files of the archive could not be extracted, files not extracted: "},
      {1, 255, L"Unexpected error"},
      {40, 255, L"Unexpected error"},
      {-1, 255, L"Unexpected error"},
  };
  for (const Row& row : rows) {
    const ErrorReport report = lookupControlError(row.asked);
    EXPECT_EQ(report.number, row.number) << row.asked;
    EXPECT_EQ(std::wstring(report.text), row.text) << row.asked;
  }
}

struct ResultCase {
  std::int32_t result;
  std::wstring event;  // empty: no ErrorCode event
  bool setsLastError;
};

class ResultMapping : public ControlTest, public ::testing::WithParamInterface<ResultCase> {
 protected:
  void SetUp() override {
    // A refusal first, so that a report that leaves GetLastError alone shows it.
    control.ZAXUncompress(L"a.tar", L"out", L"");
    ASSERT_EQ(control.GetLastError(), 34);
    sink.events.clear();
    engine.clearCalls();
  }
  Events expectedTail(const std::wstring& first) const {
    Events events{first};
    if (!GetParam().event.empty()) events.push_back(GetParam().event);
    return events;
  }
  std::int32_t expectedLastError() const {
    return GetParam().setsLastError ? std::stoi(GetParam().event.substr(10)) : 34;
  }
};

TEST_P(ResultMapping, AfterAnExtraction) {
  engine.answer(L"getintret", {GetParam().result});
  engine.answer(L"getnumfailed", {4});
  engine.answerText(L"geterrorstringutf8", {L"Path too long (engine text)"});
  control.ZAXUncompress(L"a.tar", L"out", L"*");
  timer.tick();
  Events expected{L"Progress 0", L"Progress 100"};
  for (const auto& e : expectedTail(L"Finished")) expected.push_back(e);
  EXPECT_EQ(sink.events, expected);
  EXPECT_EQ(control.GetLastError(), expectedLastError());
}

TEST_P(ResultMapping, AfterAListing) {
  engine.answer(L"getintret", {GetParam().result});
  engine.answer(L"getnumfailed", {4});
  engine.answerText(L"geterrorstringutf8", {L"Path too long (engine text)"});
  control.ZAXListTarFile(L"a.tar");
  Events expected;
  if (!GetParam().event.empty()) expected.push_back(GetParam().event);
  EXPECT_EQ(sink.events, expected);
  EXPECT_EQ(control.GetLastError(), expectedLastError());
}

const ResultCase kResults[] = {
    {0, L"ErrorCode 0 No error", true},
    {1, L"ErrorCode 5 The input file or path is invalid", true},
    {5, L"ErrorCode 5 The input file or path is invalid", true},
    {6, L"ErrorCode 37 Invalid information passed to the control", true},
    {8, L"ErrorCode 36 The file don't appear to be a valid tar file", true},
    {2, L"", false},
    {3, L"ErrorCode 38 The compressed data of the file is damaged or incomplete", true},
    {9, L"ErrorCode 39 Some files of the archive could not be extracted, files not extracted: 4", true},
    {4, L"", false},
    {7, L"", false},
    {10, L"ErrorCode 60 The file is not an archive the control reads, it holds Path too long (engine text)", true},
    {11, L"ErrorCode 61 The archive needs more memory to decompress than the control allows: Path too long (engine text)", true},
    {12, L"", false},
    {39, L"", false},
    {-1, L"", false},
    // Destination failures carry the engine's number, and GetLastError follows it.
    {40, L"ErrorCode 40 Path too long (engine text)", true},
    {56, L"ErrorCode 56 Path too long (engine text)", true},
};

INSTANTIATE_TEST_SUITE_P(Control, ResultMapping, ::testing::ValuesIn(kResults),
                         [](const auto& info) {
                           const std::int32_t r = info.param.result;
                           return (r < 0 ? "minus" : "") + std::to_string(r < 0 ? -r : r);
                         });

TEST_F(ControlTest, EngineTextIsFetchedWholeInUtf8) {
  engine.answer(L"getintret", {41});
  control.ZAXUncompress(L"a.tar", L"out", L"*");
  timer.tick();
  const auto* call = findCall(L"geterrorstringutf8");
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->wrapper, L"CallWindowText");
  EXPECT_EQ(call->numbers, (std::vector<std::int32_t>{0}));
}

TEST_F(ControlTest, NewControlAnswersNoError) { EXPECT_EQ(control.GetLastError(), 0); }

TEST_F(ControlTest, RefusalStaysInGetLastErrorUntilTheNextReport) {
  engine.answer(L"status", {1});
  control.ZAXListTarFile(L"a.tar");
  EXPECT_EQ(control.GetLastError(), 31);
  control.GetCPUSpeed();
  control.CancelExecution();
  EXPECT_EQ(control.GetLastError(), 31);
}

TEST_F(ControlTest, ProcessorTextsComeBackAsTheEngineWroteThem) {
  struct Case {
    std::wstring (ZAXTarGzip::*method)();
    std::wstring word;
  };
  const Case cases[] = {{&ZAXTarGzip::GetCPUSpeed, L"cpuspeedutf8"},
                        {&ZAXTarGzip::GetCPUVendor, L"getcpunameutf8"},
                        {&ZAXTarGzip::GetCPUBrandString, L"getbrandstringutf8"}};
  for (const Case& c : cases) {
    engine.clearCalls();
    const std::wstring text = L"  text of " + c.word + L"\n";
    engine.answerText(c.word, {text});
    EXPECT_EQ((control.*c.method)(), text);
    ASSERT_EQ(engine.calls().size(), 1u);
    const auto& call = engine.calls()[0];
    EXPECT_EQ(call.wrapper, L"CallWindowText");
    EXPECT_EQ(call.word, c.word);
    EXPECT_EQ(call.numbers, (std::vector<std::int32_t>{0}));
  }
  EXPECT_EQ(engine.initCount(), 3);
  EXPECT_TRUE(sink.events.empty());
}

TEST_F(ControlTest, AboutAndFolderBrowserGoToTheUserInterfaceOnly) {
  control.About();
  std::wstring title = L"Pick", start = L"Z:\\tmp";
  EXPECT_EQ(control.ZAXBrowseForFolder(title, start), L"Z:\\chosen");
  EXPECT_EQ(ui.shown, (std::vector<std::wstring>{L"about " + control.ControlName(),
                                                 L"browse Pick|Z:\\tmp"}));
  EXPECT_FALSE(control.ControlName().empty());
  EXPECT_EQ(engine.initCount(), 0);
  EXPECT_TRUE(engine.calls().empty());
  EXPECT_TRUE(sink.events.empty());
}

struct EndCase {
  const char* name;
  bool used;     // a member loaded the engine
  bool loaded;   // still loaded at the end
  std::int32_t status;
  Words words;
  int deinits;
};

class Termination : public ControlTest, public ::testing::WithParamInterface<EndCase> {};

TEST_P(Termination, UnloadsOnlyALoadedIdleEngine) {
  const EndCase& c = GetParam();
  if (c.used) control.GetCPUVendor();
  engine.setLoaded(c.loaded);
  engine.clearCalls();
  engine.answer(L"status", {c.status});
  control.Terminate();
  control.Terminate();
  EXPECT_EQ(engine.words(), c.words);
  EXPECT_EQ(engine.deinitCount(), c.deinits);
}

const EndCase kEndCases[] = {
    {"NeverLoaded", false, false, 0, {}, 0},
    {"Idle", true, true, 0, {L"status"}, 1},
    {"Running", true, true, 1, {L"status"}, 0},
    {"Unloaded", true, false, 0, {}, 0},
};

INSTANTIATE_TEST_SUITE_P(Control, Termination, ::testing::ValuesIn(kEndCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlTest, TerminationStopsPolling) {
  engine.answer(L"status", {0, 1});
  control.ZAXUncompress(L"a.tar", L"out", L"*");
  ASSERT_TRUE(timer.enabled());
  control.Terminate();
  EXPECT_FALSE(timer.enabled());
  EXPECT_EQ(engine.deinitCount(), 0);
}

TEST(ControlLifetime, DestructionTerminates) {
  ScriptedEngineHost engine;
  RecordingSink sink;
  RecordingUserInterface ui;
  ManualTimer timer;
  TickingPump pump{timer};
  {
    ZAXTarGzip control(engine, sink, ui, timer, pump);
    control.GetCPUSpeed();
  }
  EXPECT_EQ(engine.deinitCount(), 1);
}

}  // namespace
}  // namespace zax::testing
