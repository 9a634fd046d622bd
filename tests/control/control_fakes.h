// Seams for driving the control in tests: a sink that records events as text, a timer
// that ticks only when told, and a message pump whose every round is one tick.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "control/event_sink.h"
#include "control/ui_seams.h"

namespace zax::testing {

class RecordingSink : public EventSink {
 public:
  std::vector<std::wstring> events;
  // Runs after each event is recorded, with the event's text: a host's handler.
  std::function<void(const std::wstring&)> handler;
  // A handler that scribbles over the by-reference parameters.
  bool scribble = false;

  void ErrorCode(std::int32_t& ErrorNumber, std::wstring& ErrorDescription) override {
    record(L"ErrorCode " + std::to_wstring(ErrorNumber) + L" " + ErrorDescription);
    if (scribble) {
      ErrorNumber = 12345;
      ErrorDescription = L"changed";
    }
  }
  void Finished() override { record(L"Finished"); }
  void Progress(std::int32_t ProgressValue) override {
    record(L"Progress " + std::to_wstring(ProgressValue));
  }
  void TarFileInformation(std::int32_t& IsDirectory, std::int32_t& Year, std::int32_t& Month,
                          std::int32_t& Day, std::int32_t& Hour, std::int32_t& Minute,
                          std::int32_t& Second, std::wstring& filename, std::int32_t& Size,
                          std::int32_t& NumberOfFiles,
                          std::int32_t& NumberOfDirectories) override {
    std::wostringstream s;
    s << L"TarFileInformation " << IsDirectory << L' ' << Year << L'-' << Month << L'-' << Day
      << L' ' << Hour << L':' << Minute << L':' << Second << L" [" << filename << L"] " << Size
      << L' ' << NumberOfFiles << L' ' << NumberOfDirectories;
    record(s.str());
    if (scribble) {
      IsDirectory = Year = Size = NumberOfFiles = -1;
      filename = L"changed";
    }
  }

 private:
  void record(const std::wstring& event) {
    events.push_back(event);
    if (handler) handler(event);
  }
};

class ManualTimer : public Timer {
 public:
  void enable(TimerClient& client) override {
    client_ = &client;
    ++enables;
  }
  void disable() override { client_ = nullptr; }
  bool enabled() const { return client_ != nullptr; }
  // One tick, as the message loop would deliver it; nothing when disabled.
  void tick() {
    if (client_ != nullptr) client_->onTimerTick();
  }
  int enables = 0;

 private:
  TimerClient* client_ = nullptr;
};

// Each round of the waiting loop delivers exactly one tick.
class TickingPump : public MessagePump {
 public:
  explicit TickingPump(ManualTimer& timer) : timer_(timer) {}
  void pumpPending() override {
    ++rounds;
    timer_.tick();
  }
  void waitForMessage() override { ++waits; }
  int rounds = 0;
  int waits = 0;

 private:
  ManualTimer& timer_;
};

class RecordingUserInterface : public UserInterface {
 public:
  std::vector<std::wstring> shown;
  std::wstring folder = L"Z:\\chosen";
  void showMessage(const std::wstring& text) override { shown.push_back(L"message " + text); }
  void showAbout(const std::wstring& caption) override { shown.push_back(L"about " + caption); }
  std::wstring browseForFolder(const std::wstring& Title, const std::wstring& InitDir) override {
    shown.push_back(L"browse " + Title + L"|" + InitDir);
    return folder;
  }
};

}  // namespace zax::testing
