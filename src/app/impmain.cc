#include "app/impmain.h"

#include <ctime>

#include "app/handle_count.h"
#include "app/korven.h"
#include "gui/ui.h"
#include "services/runtime.h"

namespace talvor {

namespace {

int currentYear() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_year + 1900;
}

}  // namespace

void applyRunSettings() {
  Settings& s = rt().settings;
  s.deleted = true;
  s.confirm = true;
  s.dateFormat = s.century ? "dd/mm/yyyy" : "dd/mm/yy";
  s.epoch = currentYear() - 80;
  SETHANDLECOUNT(150);
  s.exclusive = true;
}

void IMPMAIN(const Value& argument) {
  ProcScope scope("IMPMAIN", 1);
  scope.variable("ARGUMENT", [argument] { return argument; });
  rt().setPublic("OWND", Value());
  applyRunSettings();
  const int font = ui().createFont(FontSpec{"Arial", 0, -12, true});
  rt().setPublic("OFONTW", Value::integer(font));
  scope.setLine(2);
  KORVEN();
}

}  // namespace talvor
