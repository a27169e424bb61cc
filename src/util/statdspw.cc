#include "util/statdspw.h"

#include "gui/ui.h"

namespace talvor {

void STATDSPW(const Value& text, const Value& wait, const Value&, const Value&) {
  const std::string message = text.isText() ? text.asText() : std::string();
  const double seconds = wait.isNumber() ? wait.asDouble() : 0.0;
  if (seconds > 0)
    MSGWAIT(message, "Information", 2.0);
  else
    MSGINFO(message, "Information");
}

}  // namespace talvor
