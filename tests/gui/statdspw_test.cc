#include "util/statdspw.h"

#include <gtest/gtest.h>

#include <memory>

#include "gui/recording_backend.h"
#include "gui/test_clock.h"
#include "gui/ui.h"
#include "services/runtime.h"

namespace talvor {
namespace {

TEST(Statdspw, WaitChoosesBoxOrTwoSecondNotice) {
  struct Case {
    Value wait;
    const char* event;
    double slept;
  };
  const char* kBox = "info Information: Unable to add record.";
  const char* kNotice = "notice Information: Unable to add record. (2 s)";
  const Case cases[] = {
      {Value(), kBox, 0},
      {Value::integer(0), kBox, 0},
      {Value::integer(-3), kBox, 0},
      {Value::text("5"), kBox, 0},  // not a number: counts as no wait
      {Value::real(0.1, 10, 1), kNotice, 2},
      {Value::integer(2), kNotice, 2},
      {Value::integer(30), kNotice, 2},
  };
  for (const Case& c : cases) {
    rt().reset();
    auto clock = std::make_shared<TestClock>();
    setClock(clock);
    auto backend = std::make_unique<RecordingBackend>();
    RecordingBackend& rec = *backend;
    useUiBackend(std::move(backend));
    STATDSPW(Value::text("Unable to add record."), c.wait, Value::logical(true),
             Value::integer(24));
    ASSERT_FALSE(rec.events.empty());
    EXPECT_EQ(rec.events.front(), c.event);
    EXPECT_DOUBLE_EQ(clock->slept, c.slept);
  }
  rt().reset();
}

}  // namespace
}  // namespace talvor
