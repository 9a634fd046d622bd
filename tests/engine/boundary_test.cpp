// The catch-all at the engine's boundaries: the body's answer passes, anything thrown
// becomes the boundary's failure value.
#include "engine/boundary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "common/protocol.h"

namespace {

TEST(Guarded, AnswersTheBodyOrTheFailureValue) {
  struct Case {
    const char* name;
    std::function<std::int32_t()> body;
    std::int32_t answer;
  };
  const Case cases[] = {
      {"an answer", [] { return 42; }, 42},
      {"an answer equal to the failure value", [] { return -7; }, -7},
      {"out of memory", []() -> std::int32_t { throw std::bad_alloc(); }, -7},
      {"a length error", []() -> std::int32_t { throw std::length_error("long"); }, -7},
      {"anything else", []() -> std::int32_t { throw 3; }, -7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(untgz::guarded(-7, c.body), c.answer);
  }
}

TEST(Guarded, TheAnswerHasTheBodysType) {
  // A protocol result as the failure value of a body that answers a plain number.
  const auto answer =
      untgz::guarded(untgz::protocol::kResultNotOpened, []() -> std::int32_t { throw 1; });
  static_assert(std::is_same_v<decltype(answer), const std::int32_t>, "the body decides the type");
  EXPECT_EQ(answer, 5);
  EXPECT_FALSE(untgz::guarded(false, []() -> bool { throw std::bad_alloc(); }));
  const auto throwing = []() -> int { throw 1; };
  static_assert(noexcept(untgz::guarded(0, throwing)), "a boundary lets nothing through");
}

}  // namespace
