// ZAXUncompress as a host sees it: the checks before a job, the events of the polling
// timer, waiting, and the host's handlers calling back into the control.
#include <string>

#include "tests/control/control_fixture.h"

namespace zax::testing {
namespace {

const std::wstring kBlank300(300, L' ');

TEST_F(ControlTest, JobEndingBeforeFirstTickGivesOnlyTheClosingEvents) {
  engine.answer(L"status", {0});
  control.ZAXUncompress(L"Z:\\a.tar", L"Z:\\out", L"*.*");

  // Without WaitExecution the call returns right after enabling the timer.
  EXPECT_EQ(sink.events, (Events{L"Progress 0"}));
  EXPECT_TRUE(timer.enabled());
  EXPECT_TRUE(control.IsPolling());
  EXPECT_EQ(pump.rounds, 0);
  EXPECT_EQ(takeWords(), (Words{L"status", L"setflaglist", L"zaxuntarutf8"}));

  timer.tick();
  EXPECT_EQ(sink.events,
            (Events{L"Progress 0", L"Progress 100", L"Finished", L"ErrorCode 0 No error"}));
  EXPECT_EQ(takeWords(), (Words{L"status", L"getintret"}));
  EXPECT_FALSE(control.IsPolling());
  EXPECT_EQ(control.GetLastError(), 0);
}

TEST_F(ControlTest, StartSendsTheArgumentsUnchanged) {
  control.ZAXUncompress(L"Z:\\a b.tgz", L" ", L"*.TXT");
  const auto* flag = findCall(L"setflaglist");
  ASSERT_NE(flag, nullptr);
  EXPECT_EQ(flag->wrapper, L"CallWindowLONG");
  EXPECT_EQ(flag->numbers, (std::vector<std::int32_t>{0, 0, 0}));
  const auto* start = findCall(L"zaxuntarutf8");
  ASSERT_NE(start, nullptr);
  EXPECT_EQ(start->wrapper, L"CallWindowUtf8");
  EXPECT_EQ(start->strings, (std::vector<std::wstring>{L"Z:\\a b.tgz", L" ", L"*.TXT"}));
  EXPECT_EQ(findCall(L"status")->numbers, (std::vector<std::int32_t>{0, 0, 0}));
}

TEST_F(ControlTest, ChangedPercentagesAreReportedCappedAt96) {
  engine.answer(L"status", {0, 1, 1, 1, 1, 1, 0});
  engine.answer(L"getporcentagem", {50, 50, 97, 98, 100});
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  takeWords();
  timer.tick();
  EXPECT_EQ(takeWords(), (Words{L"status", L"getporcentagem"}));
  tickToEnd();
  EXPECT_EQ(sink.events, (Events{L"Progress 0", L"Progress 50", L"Progress 96", L"Progress 96",
                                 L"Progress 96", L"Progress 100", L"Finished",
                                 L"ErrorCode 0 No error"}));
  // Init is asked on every tick; it returns at once once the engine is loaded.
  EXPECT_EQ(engine.initCount(), 1 + 6);
}

TEST_F(ControlTest, LastPercentageIsRememberedAcrossJobs) {
  engine.answer(L"status", {0, 1, 0});
  engine.answer(L"getporcentagem", {37});
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  tickToEnd();
  sink.events.clear();

  engine.answer(L"status", {0, 1, 1, 0});
  engine.answer(L"getporcentagem", {37, 40});
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  tickToEnd();
  EXPECT_EQ(sink.events, (Events{L"Progress 0", L"Progress 40", L"Progress 100", L"Finished",
                                 L"ErrorCode 0 No error"}));
}

TEST_F(ControlTest, AnyStatusButOneEndsTheJob) {
  // Only 1 means running; another value is an end, as a not-loaded engine's 0 is.
  engine.answer(L"status", {0, 2});
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  timer.tick();
  EXPECT_EQ(sink.events,
            (Events{L"Progress 0", L"Progress 100", L"Finished", L"ErrorCode 0 No error"}));
}

TEST_F(ControlTest, AFailureInsideATickEndsThePollingWithAReport) {
  engine.answer(L"status", {0, 1});
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  engine.onCommand(L"getporcentagem", [] { throw std::bad_alloc(); });
  timer.tick();
  EXPECT_FALSE(control.IsPolling());
  EXPECT_EQ(sink.events, (Events{L"Progress 0", L"ErrorCode 255 Unexpected error"}));
  EXPECT_EQ(control.GetLastError(), 255);
}

struct CheckCase {
  const char* name;
  std::wstring tarFile, destination, selection;
  bool readable;
  bool running;
  Events events;
  std::vector<std::wstring> checks;
  Words words;
};

class ExtractionChecks : public ControlTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ExtractionChecks, OnlyTheFirstFailingCheckIsReported) {
  const CheckCase& c = GetParam();
  engine.setInputFileReadable(c.readable);
  engine.answer(L"status", {c.running ? 1 : 0});
  control.ZAXUncompress(c.tarFile, c.destination, c.selection);
  EXPECT_EQ(sink.events, c.events);
  EXPECT_EQ(engine.checks(), c.checks);
  EXPECT_EQ(engine.words(), c.words);
  EXPECT_EQ(engine.initCount(), 1);
  EXPECT_FALSE(timer.enabled());
  EXPECT_EQ(control.GetLastError(), std::stoi(c.events.front().substr(10)));
}

const CheckCase kCheckCases[] = {
    {"AllEmpty", L"", L"", L"", false, true,
     {L"ErrorCode 3 The input file is empty "},
     {L"CheckForEmpty "},
     {}},
    {"DestinationEmpty", L"a.tar", L"", L"", false, true,
     {L"ErrorCode 33 The destination dir is empty"},
     {L"CheckForEmpty a.tar", L"CheckForEmpty "},
     {}},
    {"SelectionEmpty", L"a.tar", L"out", L"", false, true,
     {L"ErrorCode 34 The files selection is empty"},
     {L"CheckForEmpty a.tar", L"CheckForEmpty out", L"CheckForEmpty "},
     {}},
    {"Unreadable", L"a.tar", L"out", L"*", false, true,
     {L"ErrorCode 5 The input file or path is invalid"},
     {L"CheckForEmpty a.tar", L"CheckForEmpty out", L"CheckForEmpty *", L"CheckInputFile a.tar"},
     {}},
    {"Running", L"a.tar", L"out", L"*", true, true,
     {L"ErrorCode 31 Already running , wait for the end of execution before calling the "
      L"ZAXUncompress again"},
     {L"CheckForEmpty a.tar", L"CheckForEmpty out", L"CheckForEmpty *", L"CheckInputFile a.tar"},
     {L"status"}},
};

INSTANTIATE_TEST_SUITE_P(Control, ExtractionChecks, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlTest, BlanksAreNotEmpty) {
  control.ZAXUncompress(L" ", L" ", L" ");
  EXPECT_EQ(sink.events, (Events{L"Progress 0"}));
}

TEST_F(ControlTest, WaitingReturnsAfterTheOutcome) {
  engine.answer(L"status", {0, 1, 1, 0});
  engine.answer(L"getporcentagem", {10, 20});
  control.WaitExecution(true);
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  EXPECT_EQ(sink.events, (Events{L"Progress 0", L"Progress 10", L"Progress 20", L"Progress 100",
                                 L"Finished", L"ErrorCode 0 No error"}));
  EXPECT_FALSE(timer.enabled());
  EXPECT_EQ(pump.rounds, 3);
  // The loop blocks for the next message between rounds rather than spinning.
  EXPECT_EQ(pump.waits, 2);
}

TEST_F(ControlTest, WaitingFlagCanBeClearedAgain) {
  control.WaitExecution(true);
  control.WaitExecution(false);
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  EXPECT_EQ(pump.rounds, 0);
  EXPECT_TRUE(timer.enabled());
}

TEST_F(ControlTest, CancelFromAProgressHandlerReachesTheEngineAtOnce) {
  engine.answer(L"status", {0, 1, 1, 0});
  engine.answer(L"getporcentagem", {30});
  engine.answer(L"getintret", {0});
  sink.handler = [&](const std::wstring& event) {
    if (event == L"Progress 30") control.CancelExecution();
  };
  control.WaitExecution(true);
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  const Words expected{L"status", L"setflaglist", L"zaxuntarutf8", L"status",        L"getporcentagem",
                       L"cancel", L"status",      L"getporcentagem", L"status", L"getintret"};
  EXPECT_EQ(engine.words(), expected);
  EXPECT_EQ(findCall(L"cancel")->strings, (std::vector<std::wstring>{L" ", L" ", L" "}));
  EXPECT_EQ(sink.events.back(), L"ErrorCode 0 No error");
}

TEST_F(ControlTest, SecondUncompressFromAHandlerIsRefusedAndTheFirstJobGoesOn) {
  engine.answer(L"status", {0, 1, 1, 1, 0});
  engine.answer(L"getporcentagem", {50, 60});
  sink.handler = [&](const std::wstring& event) {
    if (event == L"Progress 50") control.ZAXUncompress(L"b.tar", L"out2", L"*");
  };
  control.WaitExecution(true);
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  EXPECT_EQ(sink.events,
            (Events{L"Progress 0", L"Progress 50",
                    L"ErrorCode 31 Already running , wait for the end of execution before "
                    L"calling the ZAXUncompress again",
                    L"Progress 60", L"Progress 100", L"Finished", L"ErrorCode 0 No error"}));
  EXPECT_FALSE(timer.enabled());
  EXPECT_EQ(control.GetLastError(), 0);
}

TEST_F(ControlTest, NewJobFromTheFinishedHandlerIsWaitedForInside) {
  engine.answer(L"status", {0, 0, 0, 1, 0});
  engine.answer(L"getporcentagem", {70});
  bool started = false;
  sink.handler = [&](const std::wstring& event) {
    if (event == L"Finished" && !started) {
      started = true;
      control.ZAXUncompress(L"b.tar", L"out2", L"*");
    }
  };
  control.WaitExecution(true);
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  // The second job's events come from the nested wait, before the first job's outcome.
  EXPECT_EQ(sink.events,
            (Events{L"Progress 0", L"Progress 100", L"Finished", L"Progress 0", L"Progress 70",
                    L"Progress 100", L"Finished", L"ErrorCode 0 No error",
                    L"ErrorCode 0 No error"}));
  EXPECT_FALSE(timer.enabled());
}

TEST_F(ControlTest, ClearingWaitExecutionInAHandlerEndsTheWait) {
  engine.answer(L"status", {0, 1, 1, 0});
  engine.answer(L"getporcentagem", {5, 6});
  sink.handler = [&](const std::wstring& event) {
    if (event == L"Progress 5") control.WaitExecution(false);
  };
  control.WaitExecution(true);
  control.ZAXUncompress(L"a.tar", L"out", L"*.*");
  EXPECT_EQ(sink.events, (Events{L"Progress 0", L"Progress 5"}));
  EXPECT_TRUE(timer.enabled());
  tickToEnd();
  EXPECT_EQ(sink.events.back(), L"ErrorCode 0 No error");
}

TEST_F(ControlTest, PauseResumeCancelNeedALoadedEngine) {
  control.PauseExecution();
  control.ResumeExecution();
  control.CancelExecution();
  EXPECT_TRUE(engine.calls().empty());
  EXPECT_EQ(engine.initCount(), 0);
  EXPECT_TRUE(sink.events.empty());

  control.GetCPUVendor();  // loads the engine
  engine.clearCalls();
  control.PauseExecution();
  control.ResumeExecution();
  control.CancelExecution();
  EXPECT_EQ(engine.words(), (Words{L"pause", L"resume", L"cancel"}));
  for (const auto& call : engine.calls()) {
    EXPECT_EQ(call.wrapper, L"CallWindow");
    EXPECT_EQ(call.strings, (std::vector<std::wstring>{L" ", L" ", L" "}));
  }
  EXPECT_TRUE(sink.events.empty());
}

TEST(ControlFactory, PauseBeforeFirstUseMakesNoEngineHost) {
  RecordingSink sink;
  RecordingUserInterface ui;
  ManualTimer timer;
  TickingPump pump{timer};
  int made = 0;
  ZAXTarGzip control(
      [&] {
        ++made;
        return std::make_unique<ScriptedEngineHost>();
      },
      sink, ui, timer, pump);
  control.PauseExecution();
  control.CancelExecution();
  EXPECT_EQ(made, 0);
  control.GetCPUSpeed();
  control.ZAXListTarFile(L"a.tar");
  EXPECT_EQ(made, 1);
}

TEST_F(ControlTest, HostErrorFromInitReachesTheCallerWithoutEvents) {
  engine.failInit(5001, "cannot deploy");
  try {
    control.ZAXUncompress(L"a.tar", L"out", L"*.*");
    FAIL() << "no error";
  } catch (const HostError& e) {
    EXPECT_EQ(e.number(), 5001);
  }
  EXPECT_THROW(control.ZAXListTarFile(L"a.tar"), HostError);
  EXPECT_THROW(control.GetCPUBrandString(), HostError);
  EXPECT_TRUE(sink.events.empty());
  EXPECT_TRUE(engine.calls().empty());
}

TEST_F(ControlTest, HandlersCannotChangeWhatTheControlKeeps) {
  sink.scribble = true;
  control.ZAXUncompress(L"", L"out", L"*");
  EXPECT_EQ(control.GetLastError(), 3);
}

}  // namespace
}  // namespace zax::testing
