// A control wired to a scripted engine host and to manual seams.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/zax_tar_gzip.h"
#include "tests/control/control_fakes.h"
#include "tests/support/scripted_engine_host.h"

namespace zax::testing {

class ControlTest : public ::testing::Test {
 protected:
  ScriptedEngineHost engine;
  RecordingSink sink;
  RecordingUserInterface ui;
  ManualTimer timer;
  TickingPump pump{timer};
  ZAXTarGzip control{engine, sink, ui, timer, pump};

  // The command words sent since the last call of this function.
  std::vector<std::wstring> takeWords() {
    std::vector<std::wstring> words = engine.words();
    engine.clearCalls();
    return words;
  }
  // Ticks until the control stops polling (bounded, so a fault cannot hang the test).
  void tickToEnd() {
    for (int i = 0; i < 100 && timer.enabled(); ++i) timer.tick();
  }
  const ScriptedEngineHost::Call* findCall(const std::wstring& word) const {
    for (const auto& call : engine.calls()) {
      if (call.word == word) return &call;
    }
    return nullptr;
  }
};

using Events = std::vector<std::wstring>;
using Words = std::vector<std::wstring>;

}  // namespace zax::testing
