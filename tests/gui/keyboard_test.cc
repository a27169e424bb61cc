#include "services/keyboard.h"

#include <gtest/gtest.h>

#include <memory>

#include "gui/test_clock.h"
#include "services/runtime.h"

namespace talvor {
namespace {

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    clock_ = std::make_shared<TestClock>();
    setClock(clock_);
  }
  void TearDown() override { rt().reset(); }
  std::shared_ptr<TestClock> clock_;
};

TEST_F(KeyboardTest, QueueAndLastKey) {
  EXPECT_EQ(INKEY(), 0);
  EXPECT_EQ(LASTKEY(), 0);
  ___KEYBOARD("xy");
  ___KEYBOARD("ab");  // replaces what was stuffed before
  pushKey(13);
  EXPECT_EQ(INKEY(), 'a');
  EXPECT_EQ(INKEY(5), 'b');
  EXPECT_EQ(LASTKEY(), 'b');
  EXPECT_EQ(INKEY(), 13);
  EXPECT_EQ(INKEY(), 0);
  EXPECT_EQ(LASTKEY(), 13);  // an empty poll leaves the last key
  EXPECT_EQ(clock_->slept, 0.0);
}

TEST_F(KeyboardTest, TimedWaits) {
  struct Case {
    double seconds;
    double keyAt;  // < 0: no key comes
    int expectedKey;
    double expectedSlept;
  };
  const Case cases[] = {
      {0.2, -1, 0, 0.2},     // the retry pause: runs out
      {1.0, 0.3, 'k', 0.3},  // a key shortens the wait and is taken
      {0, 7.0, 'k', 7.0},    // INKEY(0) waits as long as it takes
      {-1, 0.1, 0, 0.0},     // a negative time does not wait
  };
  for (const Case& c : cases) {
    SetUp();
    if (c.keyAt >= 0) clock_->keysAt.push_back({clock_->time + c.keyAt, 'k'});
    EXPECT_EQ(INKEY(c.seconds), c.expectedKey) << c.seconds;
    EXPECT_NEAR(clock_->slept, c.expectedSlept, 1e-9) << c.seconds;
  }
}

TEST_F(KeyboardTest, KeySourceIsPolledDuringWaits) {
  int polls = 0;
  setKeySource([&] { return ++polls == 3 ? 27 : 0; });
  EXPECT_EQ(INKEY(10), 27);
  EXPECT_EQ(LASTKEY(), 27);
  EXPECT_LT(clock_->slept, 1.0);
}

}  // namespace
}  // namespace talvor
