// The native build's seams: the event loop that carries the control's timer, the console
// user interface, and the UTF-8 conversions of the command line.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/eventfd.h>
#endif

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "control/native/console_ui.h"
#include "control/native/event_loop.h"
#include "common/utf8.h"

namespace zax {
namespace {

class CountingClient : public TimerClient {
 public:
  std::function<void()> onTick;
  int ticks = 0;
  void onTimerTick() override {
    ++ticks;
    if (onTick) onTick();
  }
};

TEST(EventLoop, PostedTasksRunInOrderOnPump) {
  EventLoop loop;
  std::vector<int> ran;
  loop.post([&] { ran.push_back(1); });
  loop.post([&] {
    ran.push_back(2);
    loop.post([&] { ran.push_back(3); });  // posted while pumping: runs in the same pump
  });
  EXPECT_TRUE(ran.empty());
  loop.pumpPending();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

TEST(EventLoop, TimerTicksUntilDisabledFromItsOwnTick) {
  EventLoop loop;
  CountingClient client;
  client.onTick = [&] {
    if (client.ticks == 3) loop.disable();
  };
  loop.enable(client);
  loop.pumpPending();  // nothing is due yet
  EXPECT_EQ(client.ticks, 0);
  loop.runWhile([&] { return client.ticks < 3; });
  EXPECT_EQ(client.ticks, 3);
  loop.pumpPending();
  EXPECT_EQ(client.ticks, 3);
}

TEST(EventLoop, PostFromAnotherThreadWakesTheWait) {
  EventLoop loop;
  bool done = false;
  std::thread poster([&] { loop.post([&] { done = true; }); });
  loop.runWhile([&] { return !done; });
  poster.join();
  EXPECT_TRUE(done);
}

// A job's end signal as the engine hands it out, set or not.
JobEndSignal makeSignal(bool fired) {
#ifdef _WIN32
  return JobEndSignal(CreateEventW(nullptr, TRUE, fired ? TRUE : FALSE, nullptr));
#else
  return JobEndSignal(::eventfd(fired ? 1 : 0, EFD_CLOEXEC));
#endif
}

// The job's end signal brings a tick of its own, once, and only while the timer is
// enabled; disabling stops the watch of a signal that never fires.
TEST(EventLoop, AFiredSignalTicksOnceAndOnlyWhileEnabled) {
  EventLoop loop;
  CountingClient client;
  client.onTick = [&] { loop.disable(); };
  loop.enable(client);
  loop.tickOnSignal(makeSignal(true));
  loop.runWhile([&] { return client.ticks == 0; });
  EXPECT_EQ(client.ticks, 1);

  loop.tickOnSignal(makeSignal(true));  // disabled: not watched
  loop.pumpPending();
  EXPECT_EQ(client.ticks, 1);

  client.onTick = nullptr;
  loop.enable(client);
  loop.tickOnSignal(makeSignal(false));
  loop.disable();  // returns: the watch ends without the signal
  loop.pumpPending();
  EXPECT_EQ(client.ticks, 1);
}

TEST(ConsoleUserInterface, MessagesGoToErrorAndTheFolderBrowserAnswersEmpty) {
  std::ostringstream out, err;
  ConsoleUserInterface ui(out, err);
  ui.showMessage(L"error locating the interface1 function ");
  EXPECT_EQ(err.str(), "error locating the interface1 function \n");
  ui.showAbout(L"ZAXTarGzip");
  EXPECT_EQ(out.str().rfind("ZAXTarGzip\n", 0), 0u);
  EXPECT_EQ(ui.browseForFolder(L"Title", L"Z:\\tmp"), L"");
}

TEST(Utf8, RoundTripsText) {
  const std::wstring texts[] = {L"", L"plain.tar", L"caf\u00e9/\u20ac \u4e2d.txt",
                                L"emoji \U0001F600 end"};
  for (const std::wstring& text : texts) EXPECT_EQ(fromUtf8(toUtf8(text)), text);
  EXPECT_EQ(toUtf8(L"\u00e9"), "\xc3\xa9");
  EXPECT_EQ(toUtf8(L"\U0001F600"), "\xf0\x9f\x98\x80");
}

TEST(Utf8, InvalidBytesBecomeReplacementCharacters) {
  const struct {
    std::string bytes;
    std::wstring text;
  } cases[] = {
      {"a\xff" "b", L"a\ufffdb"},
      {"\xc3", L"\ufffd"},                      // cut short at the end
      {"\xc0\xaf", L"\ufffd\ufffd"},            // overlong '/'
      {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},  // a surrogate
      {"\xe2\x82" "x", L"\ufffd\ufffdx"},
  };
  for (const auto& c : cases) EXPECT_EQ(fromUtf8(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace zax
