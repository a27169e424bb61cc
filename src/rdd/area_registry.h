// The work-area registry: areas 1..65535, the current area number and the alias
// bindings. One per run-time (rt().component<AreaRegistry>()), so rt().reset()
// closes every table. Creating it installs the field scope for expressions.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "rdd/work_area.h"
#include "services/expr/field_scope.h"

namespace talvor {

class AreaRegistry {
 public:
  static constexpr int kMaxArea = 65535;

  AreaRegistry();
  ~AreaRegistry();

  int current() const { return current_; }
  void select(int n) { current_ = n; }
  // The lowest area number that holds no table.
  int nextFree() const;

  WorkArea* area(int n) const;
  WorkArea* currentArea() const { return area(current_); }
  // Places a work area in area n (replacing nothing: the slot must be empty).
  WorkArea* install(int n, std::unique_ptr<WorkArea> area);
  // Frees the work area of n (without closing it).
  void release(int n);
  const std::map<int, std::unique_ptr<WorkArea>>& areas() const { return areas_; }

  // Aliases: upper-cased, cut at the first blank and to 32 characters.
  static std::string normalizeAlias(std::string_view alias);
  int areaOfAlias(std::string_view alias) const;  // 0 when unbound
  bool bindAlias(const std::string& alias, int n);  // false when bound already
  void unbindAlias(const std::string& alias);

  std::string defaultDriver = "DBFNTX";

 private:
  std::map<int, std::unique_ptr<WorkArea>> areas_;
  std::map<std::string, int> aliases_;
  std::unique_ptr<FieldScope> fieldScope_;  // installed while the registry lives
  int current_ = 1;
};

AreaRegistry& areas();
// The current work area, or null when the current area holds no table.
WorkArea* currentArea();
// The work area bound to an alias, or null.
WorkArea* areaByAlias(std::string_view alias);

}  // namespace talvor
