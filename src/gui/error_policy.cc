#include "gui/error_policy.h"

#include <cstdlib>
#include <string_view>

namespace talvor {

ErrorPolicy errorPolicyFromEnvironment() {
  const char* value = std::getenv("TALVOR_ON_ERROR");
  const std::string_view v = value ? value : "";
  if (v == "quit") return ErrorPolicy::Quit;
  if (v == "default") return ErrorPolicy::Default;
  if (v == "retry") return ErrorPolicy::Retry;
  return ErrorPolicy::Ask;
}

ErrorChoice unattendedChoice(ErrorPolicy policy, const ErrorDialogSpec& dialogSpec) {
  if (policy == ErrorPolicy::Default && dialogSpec.allowDefault) return ErrorChoice::Default;
  if (policy == ErrorPolicy::Retry && dialogSpec.allowRetry) return ErrorChoice::Retry;
  return ErrorChoice::Quit;
}

}  // namespace talvor
