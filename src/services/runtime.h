// The process-wide state of the run-time: run settings, public variables, the
// error handler, the NETERR flag, the procedure stack, and one slot per upper
// subsystem for its own state (work areas, UI, ...). One accessor, rt(); tests
// call rt().reset() to start from a clean run-time.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "services/error.h"
#include "services/value.h"

namespace talvor {

struct Settings {
  bool deleted = false;              // SET DELETED: navigation hides deleted records
  bool confirm = false;              // SET CONFIRM
  std::string dateFormat = "mm/dd/yy";  // SET DATE FORMAT
  int epoch = 1900;                  // SET EPOCH
  bool century = false;              // SET CENTURY
  bool exclusive = true;             // SET EXCLUSIVE
  bool softSeek = false;             // SET SOFTSEEK
  bool unique = false;               // SET UNIQUE
  bool hardCommit = true;            // commit asks the OS to flush
  int lockScheme = 0;                // 0 = scheme 1
  std::string defaultFolder;         // SET DEFAULT
  std::string path;                  // SET PATH, folders separated by ';' or ','
  int sharingOverride = 0;           // 2 = every open is exclusive
  bool strictRead = false;           // SET STRICTREAD
  int decimals = 2;                  // SET DECIMALS
  int fileHandles = 0;               // last SETHANDLECOUNT request
  std::size_t indexSortBudget = std::size_t(256) << 20;  // bytes of keys before spilling
};

// One active procedure of the import or the library, for "Stack Calls" and
// "Variables in use" of the error report.
struct ProcFrame {
  std::string name;
  int line = 0;
  std::vector<std::pair<std::string, std::function<Value()>>> variables;
};

class Runtime {
 public:
  Settings settings;
  std::map<std::string, Value> publics;  // public variables by upper-case name
  bool netErr = false;
  ErrorHandler errorHandler;
  std::function<void(int, const std::string&)> fatalHook;
  std::vector<ProcFrame> procStack;

  // The state object of type T, created on first use and destroyed by reset().
  // Command functions reach their state through this on every call, so the
  // lookup is an index into a table: each type gets its slot number once.
  template <class T>
  T& component() {
    const std::size_t slot = slotOf<T>();
    if (slot < bySlot_.size() && bySlot_[slot]) return *static_cast<T*>(bySlot_[slot]);
    auto owned = std::shared_ptr<void>(new T(), [](void* p) { delete static_cast<T*>(p); });
    T* raw = static_cast<T*>(owned.get());
    if (slot >= bySlot_.size()) bySlot_.resize(slot + 1, nullptr);
    bySlot_[slot] = raw;
    components_.emplace_back(slot, std::move(owned));
    return *raw;
  }
  template <class T>
  bool hasComponent() const {
    const std::size_t slot = slotOf<T>();
    return slot < bySlot_.size() && bySlot_[slot] != nullptr;
  }

  // Public variables: names compare without regard to case.
  void setPublic(const std::string& name, Value v);
  const Value* findPublic(const std::string& name) const;

  // Destroys every component (newest first) and restores the defaults.
  void reset();

  ~Runtime();

 private:
  static std::size_t nextSlot();
  template <class T>
  static std::size_t slotOf() {
    static const std::size_t slot = nextSlot();
    return slot;
  }
  // Destroys the components newest first, each leaving its slot before it goes.
  void destroyComponents();

  std::vector<void*> bySlot_;  // the component of each slot; null when not made
  std::vector<std::pair<std::size_t, std::shared_ptr<void>>> components_;  // in order made
};

Runtime& rt();

// Keeps a procedure on the run-time's procedure stack while it runs.
class ProcScope {
 public:
  ProcScope(std::string name, int line);
  ~ProcScope();
  ProcScope(const ProcScope&) = delete;
  ProcScope& operator=(const ProcScope&) = delete;
  void setLine(int line);
  // Registers a variable whose current value the error report shows.
  void variable(std::string name, std::function<Value()> read);
};

}  // namespace talvor
