#include "services/keyboard.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>

#include "services/runtime.h"

namespace talvor {

namespace {

class SystemClock final : public Clock {
 public:
  double now() override {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
  }
  void sleepFor(double seconds) override {
    if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
};

// How often a wait looks for a key that arrived from outside.
constexpr double kPollInterval = 0.05;

struct KeyboardState {
  std::deque<int> queue;
  int lastKey = 0;
  std::shared_ptr<Clock> clock = systemClock();
  KeySource source;
};

KeyboardState& state() { return rt().component<KeyboardState>(); }

bool takeKey(KeyboardState& kb, int& key) {
  if (kb.queue.empty() && kb.source) {
    if (int k = kb.source()) kb.queue.push_back(k);
  }
  if (kb.queue.empty()) return false;
  key = kb.queue.front();
  kb.queue.pop_front();
  kb.lastKey = key;
  return true;
}

}  // namespace

std::shared_ptr<Clock> systemClock() {
  static const std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
  return clock;
}

void setClock(std::shared_ptr<Clock> c) { state().clock = c ? std::move(c) : systemClock(); }

Clock& clock() { return *state().clock; }

void setKeySource(KeySource source) { state().source = std::move(source); }

void pushKey(int key) { state().queue.push_back(key); }

int INKEY() {
  int key = 0;
  return takeKey(state(), key) ? key : 0;
}

int INKEY(double seconds) {
  KeyboardState& kb = state();
  int key = 0;
  if (takeKey(kb, key)) return key;
  if (seconds < 0) return 0;
  const bool forever = seconds == 0;
  const double deadline = kb.clock->now() + seconds;
  for (;;) {
    double step = kPollInterval;
    if (!forever) {
      const double left = deadline - kb.clock->now();
      if (left <= 0) return 0;
      step = std::min(step, left);
    }
    kb.clock->sleepFor(step);
    if (takeKey(kb, key)) return key;
  }
}

int LASTKEY() { return state().lastKey; }

void ___KEYBOARD(std::string_view text) {
  KeyboardState& kb = state();
  kb.queue.clear();
  for (unsigned char c : text) kb.queue.push_back(c);
}

}  // namespace talvor
