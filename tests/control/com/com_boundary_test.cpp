// The server's COM plumbing on its own, without the control registered: the owner of the
// references it holds, the guard that turns what a boundary throws into an HRESULT, and the
// timer's tick, which must not let an exception into the window procedure.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>

#include "control/com/com_ptr.h"
#include "control/com/guarded.h"
#include "control/ui/window_timer.h"

namespace comtest {
namespace {

using zax::com::ComPtr;
using zax::com::guarded;

// An IUnknown that counts its references and never deletes itself (it lives on the stack).
class Counted final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualIID(iid, IID_IUnknown)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    --refs;
    if (onRelease) onRelease();
    return refs;
  }

  ULONG refs = 1;  // the test's own
  std::function<void()> onRelease;
};

// ---- ComPtr -------------------------------------------------------------------------------

struct Holders {
  ComPtr<Counted> held;
  ComPtr<Counted> other;
};

struct PointerCase {
  const char* name;
  // Starts with held sharing a and other empty.
  std::function<void(Holders&, Counted& a, Counted& b)> step;
  ULONG refsOfA;
  ULONG refsOfB;
  char heldAfter;       // 'a', 'b' or 0 for empty
  ULONG keptByCaller;   // references to a handed out, still there when the holders are gone
};

TEST(ComPtrTest, EachOperationTakesAndGivesBackExactlyItsReferences) {
  const PointerCase cases[] = {
      {"copy assignment shares", [](Holders& h, Counted&, Counted&) { h.other = h.held; }, 3, 1, 'a', 0},
      {"copy construction shares",
       [](Holders& h, Counted&, Counted&) { h.other = ComPtr<Counted>(h.held); }, 3, 1, 'a', 0},
      {"move hands over", [](Holders& h, Counted&, Counted&) { h.other = std::move(h.held); }, 2, 1, 0, 0},
      {"assigning another shares it and gives back the old",
       [](Holders& h, Counted&, Counted& b) { h.held = &b; }, 1, 2, 'b', 0},
      {"assigning what is held changes nothing",
       [](Holders& h, Counted& a, Counted&) { h.held = &a; }, 2, 1, 'a', 0},
      {"assigning itself changes nothing",
       [](Holders& h, Counted&, Counted&) {
         ComPtr<Counted>& same = h.held;
         h.held = same;
       },
       2, 1, 'a', 0},
      {"reset gives back", [](Holders& h, Counted&, Counted&) { h.held.reset(); }, 1, 1, 0, 0},
      {"assigning null gives back", [](Holders& h, Counted&, Counted&) { h.held = nullptr; }, 1, 1, 0, 0},
      {"put gives back before the callee writes",
       [](Holders& h, Counted&, Counted& b) {
         Counted** out = h.held.put();
         EXPECT_EQ(*out, nullptr);
         b.AddRef();  // what a callee does for its out-parameter
         *out = &b;
       },
       1, 2, 'b', 0},
      {"attach takes over the caller's reference",
       [](Holders& h, Counted&, Counted& b) {
         b.AddRef();
         h.held.attach(&b);
       },
       1, 2, 'b', 0},
      {"detach hands the reference to the caller",
       [](Holders& h, Counted& a, Counted&) { EXPECT_EQ(h.held.detach(), &a); }, 2, 1, 0, 1},
      {"copyTo answers with a reference of its own",
       [](Holders& h, Counted& a, Counted&) {
         Counted* out = nullptr;
         h.held.copyTo(&out);
         EXPECT_EQ(out, &a);
       },
       3, 1, 'a', 1},
      {"copyTo of nothing answers null",
       [](Holders& h, Counted&, Counted&) {
         Counted unrelated;
         Counted* out = &unrelated;
         h.other.copyTo(&out);
         EXPECT_EQ(out, nullptr);
       },
       2, 1, 'a', 0},
      {"queryTo answers a reference of the other interface",
       [](Holders& h, Counted&, Counted&) {
         ComPtr<IUnknown> unknown;
         EXPECT_EQ(h.held.queryTo(unknown), S_OK);
         EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(h.held.get()));
       },
       2, 1, 'a', 0},
  };
  for (const PointerCase& c : cases) {
    SCOPED_TRACE(c.name);
    Counted a, b;
    {
      Holders h;
      h.held = &a;
      c.step(h, a, b);
      EXPECT_EQ(a.refs, c.refsOfA);
      EXPECT_EQ(b.refs, c.refsOfB);
      Counted* expected = c.heldAfter == 'a' ? &a : c.heldAfter == 'b' ? &b : nullptr;
      EXPECT_EQ(h.held.get(), expected);
    }
    // Whatever is still held is given back with the holders; what was detached or copied
    // out stays with the caller.
    EXPECT_EQ(a.refs, 1 + c.keptByCaller);
    EXPECT_EQ(b.refs, 1u);
  }
}

TEST(ComPtrTest, WhatIsGivenBackIsGoneBeforeItsReleaseRuns) {
  // A Release that calls back into the holder (a container dropping its last reference
  // to the control) must find the pointer already empty, however it was given back.
  const std::pair<const char*, std::function<void(ComPtr<Counted>&, Counted&)>> ways[] = {
      {"reset", [](ComPtr<Counted>& held, Counted&) { held.reset(); }},
      {"put", [](ComPtr<Counted>& held, Counted&) { held.put(); }},
      {"assignment", [](ComPtr<Counted>& held, Counted& other) { held = &other; }},
      {"move assignment", [](ComPtr<Counted>& held, Counted&) { held = ComPtr<Counted>(); }},
  };
  for (const auto& [name, giveBack] : ways) {
    SCOPED_TRACE(name);
    Counted a, other;
    ComPtr<Counted> held(&a);
    std::optional<Counted*> seen;
    a.onRelease = [&] { seen = held.get(); };
    giveBack(held, other);
    ASSERT_TRUE(seen.has_value());
    EXPECT_NE(*seen, &a);
    EXPECT_EQ(a.refs, 1u);
  }
}

// ---- guarded ------------------------------------------------------------------------------

struct GuardCase {
  const char* name;
  std::function<HRESULT()> body;
  std::optional<HRESULT> otherwise;  // guarded's default when not given
  HRESULT expected;
};

TEST(ComGuardedTest, AnswersWhatTheBodyReturnsOrAnHResultForWhatItThrows) {
  const auto succeed = [] { return S_OK; };
  static_assert(noexcept(guarded(succeed)));
  const GuardCase cases[] = {
      {"a success passes through", [] { return S_FALSE; }, std::nullopt, S_FALSE},
      {"a failure passes through unchanged", [] { return SELFREG_E_TYPELIB; }, SELFREG_E_CLASS,
       SELFREG_E_TYPELIB},
      {"out of memory", []() -> HRESULT { throw std::bad_alloc(); }, std::nullopt, E_OUTOFMEMORY},
      {"out of memory whatever the rest becomes", []() -> HRESULT { throw std::bad_alloc(); },
       SELFREG_E_CLASS, E_OUTOFMEMORY},
      {"a standard exception", []() -> HRESULT { throw std::runtime_error("x"); }, std::nullopt,
       E_UNEXPECTED},
      {"a standard exception at registration",
       []() -> HRESULT { throw std::runtime_error("x"); }, SELFREG_E_CLASS, SELFREG_E_CLASS},
      {"something that is no exception class", []() -> HRESULT { throw 42; }, std::nullopt,
       E_UNEXPECTED},
  };
  for (const GuardCase& c : cases) {
    SCOPED_TRACE(c.name);
    const HRESULT hr = c.otherwise ? guarded(c.body, *c.otherwise) : guarded(c.body);
    EXPECT_EQ(hr, c.expected);
  }
}

// ---- the timer's tick -----------------------------------------------------------------------

class ThrowingClient final : public zax::TimerClient {
 public:
  void onTimerTick() override {
    ++ticks;
    throw std::runtime_error("tick failed");
  }
  int ticks = 0;
};

// Dispatches this thread's messages until stop() or the deadline.
void pumpMessages(DWORD milliseconds, const std::function<bool()>& stop) {
  const ULONGLONG deadline = GetTickCount64() + milliseconds;
  while (!stop()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

TEST(ComTimerTickTest, ATickThatThrowsStopsTheTimerAndKeepsItsOwnerBalanced) {
  Counted owner;
  ThrowingClient client;
  zax::ui::WindowTimer timer(GetModuleHandleW(nullptr), &owner);
  ASSERT_NE(timer.window(), nullptr);
  timer.enable(client);

  // The exception stays inside the tick: the dispatch returns here normally.
  EXPECT_NO_THROW(pumpMessages(5000, [&] { return client.ticks > 0; }));
  ASSERT_EQ(client.ticks, 1);
  // A tick that failed would fail again every interval: no further tick comes.
  EXPECT_NO_THROW(pumpMessages(4 * zax::kTimerIntervalMs, [] { return false; }));
  EXPECT_EQ(client.ticks, 1);
  EXPECT_EQ(owner.refs, 1u);
}

}  // namespace
}  // namespace comtest
