// The run-time's keyboard queue and its timed key waits.
//
// Keys are numbers (byte codes for typed characters). The program itself stuffs
// keys with ___KEYBOARD; a key source (a terminal, a window) may add more while a
// wait polls. Waits run on a replaceable clock so that tests never really sleep:
// a test clock advances its own time in sleepFor() and may push keys from there.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace talvor {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() = 0;                    // seconds on a monotonic scale
  virtual void sleepFor(double seconds) = 0;
};

// The real monotonic clock.
std::shared_ptr<Clock> systemClock();

// Replaces the run-time's clock (until rt().reset()).
void setClock(std::shared_ptr<Clock> clock);
Clock& clock();

// Polled during waits for keys from outside the program; returns 0 when none.
using KeySource = std::function<int()>;
void setKeySource(KeySource source);

// Adds one key at the end of the queue.
void pushKey(int key);

// INKEY(): takes the next key without waiting; 0 when the queue is empty.
int INKEY();
// INKEY(seconds): waits up to that long for a key (0 = wait until a key comes) and
// takes it; 0 when the time ran out (at once for a negative time). The key taken becomes LASTKEY().
int INKEY(double seconds);
// The last key taken by INKEY (0 before any).
int LASTKEY();
// Empties the queue and puts the bytes of the text into it.
void ___KEYBOARD(std::string_view text);

}  // namespace talvor
