// A clock for tests: time moves only when someone sleeps on it, and keys can be
// set to arrive at given times.
#pragma once

#include <deque>
#include <utility>

#include "services/keyboard.h"

namespace talvor {

class TestClock final : public Clock {
 public:
  double time = 1000.0;
  double slept = 0.0;
  int sleeps = 0;
  std::deque<std::pair<double, int>> keysAt;  // (time, key), in time order

  double now() override { return time; }
  void sleepFor(double seconds) override {
    time += seconds;
    slept += seconds;
    ++sleeps;
    while (!keysAt.empty() && keysAt.front().first <= time + 1e-9) {
      pushKey(keysAt.front().second);
      keysAt.pop_front();
    }
  }
};

}  // namespace talvor
